// The record facility (structure-as-plist): a record type declares its slots
// once, in a record_def, and gets from that declaration
//   - its Lisp structure definition in the package VANTREL-MIGRATOR (the
//     standard constructor, predicate, copier and accessors, all exported),
//   - its printed and read form (to_lisp / from_lisp), slot by slot,
//   - its property-list form (structure_as_plist, and NAME-PLIST in Lisp) for
//     the slots listed in plist_keys.
//
// A record_def looks like this:
//
//   template <> struct record_def<cad_fileinfo> {
//     static constexpr std::string_view name = "CAD-FILEINFO";
//     using include = void;  // or the included record type; optional
//     static constexpr std::tuple slots{slot{"PATH", &cad_fileinfo::path}, ...};
//     static constexpr std::array<std::string_view, 2> plist_keys{"PATH", ...};  // optional
//   };
//
// `slots` lists the record's own slots in order; those of the included type
// come first, as in a Lisp structure with :include. Slot values convert
// through lisp_value<T>, which this header defines for strings, integers,
// doubles, pathnames, keywords, keyword enums, optionals, vectors, pairs,
// nested records and untouched Lisp data.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/lisp/errors.h"
#include "host/lisp/object.h"
#include "host/lisp/structures.h"

namespace vtm::core {

using host::lisp::ref;

// A property list as C++ holds it: keyword names (upper case, no colon) in
// order, each with its Lisp value.
class plist {
 public:
  void add(std::string_view key, ref value) { entries_.emplace_back(std::string(key), std::move(value)); }
  // The value under key, or nullptr when the key is absent.
  const ref* find(std::string_view key) const;
  bool contains(std::string_view key) const { return find(key) != nullptr; }
  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }
  // (:KEY value ...)
  ref to_lisp() const;

 private:
  std::vector<std::pair<std::string, ref>> entries_;
};

// A Lisp value the module keeps without looking into it (a part-check
// result, attribute values). Compared with equal.
struct lisp_datum {
  ref value;
  bool operator==(const lisp_datum& o) const;
};

// A keyword by its name (upper case, no colon); the empty name is NIL.
struct keyword_name {
  std::string name;
  bool is_nil() const { return name.empty(); }
  bool operator==(const keyword_name&) const = default;
};

// Names of the keywords an enum stands for, indexed by its values.
template <class E>
struct keyword_enum;

// How a C++ value crosses into Lisp (to) and back (from). from() signals the
// host's type error for a value of the wrong type.
template <class T>
struct lisp_value;

template <>
struct lisp_value<std::string> {
  static ref to(const std::string& v);
  static std::string from(const ref& v);
};
template <>
struct lisp_value<std::int64_t> {
  static ref to(std::int64_t v);
  static std::int64_t from(const ref& v);
};
template <>
struct lisp_value<double> {
  static ref to(double v);
  static double from(const ref& v);
};
// The empty path is NIL; others are pathnames. Strings are read as well.
template <>
struct lisp_value<std::filesystem::path> {
  static ref to(const std::filesystem::path& v);
  static std::filesystem::path from(const ref& v);
};
template <>
struct lisp_value<lisp_datum> {
  static ref to(const lisp_datum& v) { return v.value; }
  static lisp_datum from(const ref& v) { return {v}; }
};
template <>
struct lisp_value<keyword_name> {
  static ref to(const keyword_name& v);
  static keyword_name from(const ref& v);
};

template <class T>
struct lisp_value<std::optional<T>> {
  static ref to(const std::optional<T>& v) { return v ? lisp_value<T>::to(*v) : ref(); }
  static std::optional<T> from(const ref& v) {
    if (host::lisp::is_nil(v)) return std::nullopt;
    return lisp_value<T>::from(v);
  }
};

namespace detail {
// Sequences cross as proper lists.
template <class Seq>
struct lisp_list_value {
  using T = typename Seq::value_type;
  static ref to(const Seq& v) {
    ref result;
    for (auto it = v.rbegin(); it != v.rend(); ++it)
      result = host::lisp::cons(lisp_value<T>::to(*it), std::move(result));
    return result;
  }
  static Seq from(const ref& v) {
    if (!host::lisp::listp(v)) host::lisp::type_error(v, "LIST");
    Seq out;
    for (ref rest = v; host::lisp::consp(rest); rest = host::lisp::cdr(rest))
      out.push_back(lisp_value<T>::from(host::lisp::car(rest)));
    return out;
  }
};
}  // namespace detail

template <class T>
struct lisp_value<std::vector<T>> : detail::lisp_list_value<std::vector<T>> {};

template <class A, class B>
struct lisp_value<std::pair<A, B>> {
  static ref to(const std::pair<A, B>& v) {
    return host::lisp::cons(lisp_value<A>::to(v.first), lisp_value<B>::to(v.second));
  }
  static std::pair<A, B> from(const ref& v) {
    if (!host::lisp::consp(v)) host::lisp::type_error(v, "CONS");
    return {lisp_value<A>::from(host::lisp::car(v)), lisp_value<B>::from(host::lisp::cdr(v))};
  }
};

namespace detail {
ref keyword_ref(std::string_view name);
// The index of the keyword v among names; the host's type error otherwise.
std::size_t keyword_index(const ref& v, std::span<const std::string_view> names, std::string_view type_name);
}  // namespace detail

template <class E>
requires std::is_enum_v<E>
struct lisp_value<E> {
  static ref to(E v) { return detail::keyword_ref(keyword_enum<E>::names[static_cast<std::size_t>(v)]); }
  static E from(const ref& v) {
    return static_cast<E>(detail::keyword_index(v, keyword_enum<E>::names, keyword_enum<E>::type_name));
  }
};

// --- Records ----------------------------------------------------------------

template <class R, class T>
struct slot {
  std::string_view name;
  T R::*member;
};

template <class R>
struct record_def {};

template <class R>
concept record = requires {
  record_def<R>::name;
};

namespace detail {

template <class R>
concept has_include = requires {
  typename record_def<R>::include;
}
&&!std::is_void_v<typename record_def<R>::include>;
template <class R>
concept has_plist = requires {
  record_def<R>::plist_keys;
};

// Calls f on every slot of R in structure order, included slots first.
template <class R, class F>
void for_each_slot(F&& f) {
  if constexpr (has_include<R>) for_each_slot<typename record_def<R>::include>(f);
  std::apply([&](const auto&... s) { (f(s), ...); }, record_def<R>::slots);
}

const host::lisp::struct_type& define_record_type(std::string_view name,
                                                  const std::vector<std::string_view>& own_slots,
                                                  const host::lisp::struct_type* include,
                                                  std::span<const std::string_view> plist_keys);
// Converts with lisp_value<T>, naming record and slot in an error.
template <class T>
T slot_from(const ref& v, std::string_view record, std::string_view slot_name);
[[noreturn]] void rethrow_in_slot(std::string_view record, std::string_view slot_name);

}  // namespace detail

// The record's Lisp structure type, defined on first use.
template <record R>
const host::lisp::struct_type& lisp_type() {
  static const host::lisp::struct_type& type = [] {
    const host::lisp::struct_type* include = nullptr;
    if constexpr (detail::has_include<R>) include = &lisp_type<typename record_def<R>::include>();
    std::vector<std::string_view> own;
    std::apply([&](const auto&... s) { (own.push_back(s.name), ...); }, record_def<R>::slots);
    std::span<const std::string_view> keys;
    if constexpr (detail::has_plist<R>) keys = record_def<R>::plist_keys;
    return std::cref(detail::define_record_type(record_def<R>::name, own, include, keys));
  }();
  return type;
}

template <record R>
ref to_lisp(const R& r) {
  ref object = host::lisp::make_structure(lisp_type<R>());
  auto& s = static_cast<host::lisp::structure_obj&>(*object);
  std::size_t i = 0;
  detail::for_each_slot<R>([&](const auto& sl) {
    using T = std::remove_cvref_t<decltype(r.*sl.member)>;
    s.slots[i++] = lisp_value<T>::to(r.*sl.member);
  });
  return object;
}

// The record a Lisp structure of R's type (or of a type including it) holds.
template <record R>
R from_lisp(const ref& v) {
  if (!host::lisp::typep(v, lisp_type<R>())) host::lisp::type_error(v, record_def<R>::name);
  const auto& s = static_cast<const host::lisp::structure_obj&>(*v);
  R r;
  std::size_t i = 0;
  detail::for_each_slot<R>([&](const auto& sl) {
    using T = std::remove_cvref_t<decltype(r.*sl.member)>;
    r.*sl.member = detail::slot_from<T>(s.slots[i++], record_def<R>::name, sl.name);
  });
  return r;
}

template <record R>
struct lisp_value<R> {
  static ref to(const R& v) { return to_lisp(v); }
  static R from(const ref& v) { return from_lisp<R>(v); }
};

// The plist of the record's plist_keys, in their order.
template <record R>
requires detail::has_plist<R> plist structure_as_plist(const R& r) {
  plist out;
  for (std::string_view key : record_def<R>::plist_keys) {
    detail::for_each_slot<R>([&](const auto& sl) {
      using T = std::remove_cvref_t<decltype(r.*sl.member)>;
      if (sl.name == key) out.add(key, lisp_value<T>::to(r.*sl.member));
    });
  }
  return out;
}

template <class T>
T detail::slot_from(const ref& v, std::string_view record, std::string_view slot_name) {
  try {
    return lisp_value<T>::from(v);
  } catch (...) {
    rethrow_in_slot(record, slot_name);
  }
}

}  // namespace vtm::core
