#include "core/vt_utils.h"

#include <fmt/format.h>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"

namespace vtm::core {

namespace hl = host::lisp;

const ref* plist::find(std::string_view key) const {
  for (const auto& [k, v] : entries_)
    if (k == key) return &v;
  return nullptr;
}

ref plist::to_lisp() const {
  ref result;
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    result = hl::cons(ref(&hl::keyword(it->first)), hl::cons(it->second, std::move(result)));
  return result;
}

bool lisp_datum::operator==(const lisp_datum& o) const { return hl::equal(value, o.value); }

ref lisp_value<std::string>::to(const std::string& v) { return hl::make_string(v); }
std::string lisp_value<std::string>::from(const ref& v) { return hl::as_string(v); }

ref lisp_value<std::int64_t>::to(std::int64_t v) { return hl::make_integer(v); }
std::int64_t lisp_value<std::int64_t>::from(const ref& v) { return hl::as_integer(v); }

ref lisp_value<double>::to(double v) { return hl::make_double(v); }
double lisp_value<double>::from(const ref& v) { return hl::as_number(v); }

ref lisp_value<std::filesystem::path>::to(const std::filesystem::path& v) {
  if (v.empty()) return ref();
  return hl::make_pathname(hl::parse_namestring(v.string()));
}

std::filesystem::path lisp_value<std::filesystem::path>::from(const ref& v) {
  if (hl::is_nil(v)) return {};
  if (!hl::is(v, hl::tag::pathname) && !hl::stringp(v)) hl::type_error(v, "PATHNAME");
  return hl::namestring(v);
}

ref lisp_value<keyword_name>::to(const keyword_name& v) {
  return v.is_nil() ? ref() : detail::keyword_ref(v.name);
}

keyword_name lisp_value<keyword_name>::from(const ref& v) {
  if (hl::is_nil(v)) return {};
  if (!hl::keywordp(v)) hl::type_error(v, "KEYWORD");
  return {hl::as_symbol(v).name};
}

namespace detail {

ref keyword_ref(std::string_view name) { return ref(&hl::keyword(name)); }

std::size_t keyword_index(const ref& v, std::span<const std::string_view> names, std::string_view type_name) {
  if (hl::keywordp(v)) {
    const std::string& name = hl::as_symbol(v).name;
    for (std::size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) return i;
  }
  hl::type_error(v, type_name);
}

void rethrow_in_slot(std::string_view record, std::string_view slot_name) {
  try {
    throw;
  } catch (const hl::lisp_error& e) {
    hl::signal(e.kind(), fmt::format("{} slot {}: {}", record, slot_name, e.message()));
  }
}

namespace {

void export_name(std::string_view name, hl::package& p) { hl::export_symbol(hl::intern(name, p), p); }

}  // namespace

const hl::struct_type& define_record_type(std::string_view name,
                                          const std::vector<std::string_view>& own_slots,
                                          const hl::struct_type* include,
                                          std::span<const std::string_view> plist_keys) {
  hl::package& p = hl::require_package("VANTREL-MIGRATOR");
  std::vector<hl::symbol*> slots;
  for (std::string_view s : own_slots) slots.push_back(&hl::intern(s, p));
  const hl::struct_type& type = hl::define_struct(hl::intern(name, p), slots, include);

  const std::string base(name);
  for (const std::string& n : {base, "MAKE-" + base, base + "-P", "COPY-" + base}) export_name(n, p);
  for (const hl::symbol* s : type.slots) export_name(base + "-" + s->name, p);

  if (!plist_keys.empty()) {
    std::vector<std::pair<hl::symbol*, std::size_t>> entries;
    for (std::string_view key : plist_keys) {
      const int index = hl::slot_index(type, key);
      if (index < 0)
        hl::simple_error(fmt::format("The structure {} has no slot {} for its plist.", name, key));
      entries.emplace_back(&hl::keyword(key), static_cast<std::size_t>(index));
    }
    const std::string function_name = base + "-PLIST";
    const hl::struct_type* t = &type;
    hl::defun(hl::intern(function_name, p), [t, entries, function_name](hl::args_t args) {
      hl::check_argument_count(function_name, args, 1, 1);
      if (!hl::typep(args[0], *t)) hl::type_error(args[0], t->name->name);
      const auto& s = static_cast<const hl::structure_obj&>(*args[0]);
      std::vector<ref> items;
      for (const auto& [key, index] : entries) {
        items.emplace_back(key);
        items.push_back(s.slots[index]);
      }
      return hl::list_from(items);
    });
    export_name(function_name, p);
  }
  return type;
}

}  // namespace detail

}  // namespace vtm::core
