#include "host/lisp/structures.h"

#include <map>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"

namespace host::lisp {

namespace {

struct registry {
  std::map<const symbol*, std::unique_ptr<struct_type>> by_symbol;
  std::multimap<std::string, const struct_type*, std::less<>> by_name;
};

registry& types() {
  static registry r;
  return r;
}

// The Lisp face of a structure type: make-NAME with keywords, NAME-p,
// copy-NAME and one accessor NAME-SLOT per slot, in the type's package.
void define_functions(const struct_type& type) {
  package& p = type.name->home_package ? *type.name->home_package : current_package();
  const std::string base = type.name->name;
  const struct_type* tp = &type;

  defun(intern("MAKE-" + base, p), [tp, base](args_t args) {
    if (args.size() % 2) simple_error("Odd number of keyword arguments to MAKE-" + base + ".");
    ref r = make_structure(*tp);
    auto& s = static_cast<structure_obj&>(*r);
    // The first occurrence of a key wins, as for keyword arguments.
    std::vector<bool> seen(tp->slots.size());
    for (std::size_t i = 0; i < args.size(); i += 2) {
      if (!keywordp(args[i])) type_error(args[i], "KEYWORD");
      int idx = slot_index(*tp, static_cast<symbol&>(*args[i]).name);
      if (idx < 0)
        simple_error("Unknown keyword :" + static_cast<symbol&>(*args[i]).name + " for MAKE-" + base + ".");
      if (!seen[idx]) s.slots[idx] = args[i + 1];
      seen[idx] = true;
    }
    return r;
  });
  defun(intern(base + "-P", p), [tp, base](args_t args) {
    check_argument_count(base + "-P", args, 1, 1);
    return boolean(typep(args[0], *tp));
  });
  defun(intern("COPY-" + base, p), [tp, base](args_t args) {
    check_argument_count("COPY-" + base, args, 1, 1);
    if (!typep(args[0], *tp)) type_error(args[0], base);
    auto& from = static_cast<structure_obj&>(*args[0]);
    ref r = make_structure(*from.type);
    static_cast<structure_obj&>(*r).slots = from.slots;
    return r;
  });
  for (std::size_t i = 0; i < type.slots.size(); ++i) {
    const std::string accessor = base + "-" + type.slots[i]->name;
    defun(intern(accessor, p), [tp, i, accessor](args_t args) {
      check_argument_count(accessor, args, 1, 1);
      if (!typep(args[0], *tp)) type_error(args[0], tp->name->name);
      return static_cast<structure_obj&>(*args[0]).slots[i];
    });
  }
}

}  // namespace

const struct_type& define_struct(symbol& name, std::vector<symbol*> own_slots, const struct_type* include) {
  auto t = std::make_unique<struct_type>();
  t->name = &name;
  t->include = include;
  if (include) t->slots = include->slots;
  t->slots.insert(t->slots.end(), own_slots.begin(), own_slots.end());
  auto& reg = types();
  auto [range_begin, range_end] = reg.by_name.equal_range(name.name);
  for (auto it = range_begin; it != range_end; ++it) {
    if (it->second->name == &name) {
      reg.by_name.erase(it);
      break;
    }
  }
  const struct_type* raw = t.get();
  // A redefinition keeps the old type object alive: existing instances point to it.
  static std::vector<std::unique_ptr<struct_type>> retired;
  if (auto old = reg.by_symbol.find(&name); old != reg.by_symbol.end())
    retired.push_back(std::move(old->second));
  reg.by_symbol[&name] = std::move(t);
  reg.by_name.emplace(name.name, raw);
  define_functions(*raw);
  return *raw;
}

const struct_type* find_struct(const symbol& name) {
  auto& reg = types();
  auto it = reg.by_symbol.find(&name);
  return it == reg.by_symbol.end() ? nullptr : it->second.get();
}

const struct_type* find_struct_by_name(const symbol& name) {
  if (const struct_type* t = find_struct(name)) return t;
  auto [b, e] = types().by_name.equal_range(name.name);
  if (b != e && std::next(b) == e) return b->second;
  return nullptr;
}

ref make_structure(const struct_type& type) { return ref(new structure_obj(&type)); }

int slot_index(const struct_type& type, std::string_view slot_name) {
  for (std::size_t i = 0; i < type.slots.size(); ++i)
    if (type.slots[i]->name == slot_name) return static_cast<int>(i);
  return -1;
}

ref& slot(structure_obj& s, std::string_view slot_name) {
  int i = slot_index(*s.type, slot_name);
  if (i < 0)
    simple_error("The structure " + s.type->name->name + " has no slot named " + std::string(slot_name) +
                 ".");
  return s.slots[i];
}

bool typep(const ref& value, const struct_type& type) {
  return value->type == tag::structure && static_cast<structure_obj&>(*value).type->is_a(&type);
}

}  // namespace host::lisp
