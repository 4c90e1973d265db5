// The fast path of reading a record file: the printed form of a record
// decoded straight into its C++ type, without building Lisp values first.
//
// It knows only the syntax the printer writes for records: structures of
// the module's package with every slot in order, proper lists, dotted pairs,
// strings, keywords, NIL, integers, doubles with the exponent marker d and
// pathnames. Anything else makes it give up (parse functions return false),
// and the caller reads that record with the host's reader instead, which
// decides what the text means. Giving up is therefore always safe; what the
// fast path accepts it must decode exactly as the host's reader followed by
// core::from_lisp would.
#pragma once

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/vt_utils.h"
#include "records/file_records.h"

namespace vtm::records {

class record_text {
 public:
  record_text(std::string_view text, std::size_t pos) : text_(text), pos_(pos) {}
  std::size_t pos() const { return pos_; }
  void rewind(std::size_t pos) { pos_ = pos; }

  // Each skips white space first.
  bool open_list();
  bool close_list();
  bool dot();  // the dot of a dotted pair
  // #S( followed by name in the module's package; name is upper case.
  bool open_structure(std::string_view name);
  // The name of the structure that starts here, without consuming it.
  std::optional<std::string_view> structure_name();
  bool keyword(std::string_view name);  // :NAME
  bool any_keyword(std::string_view& name);
  bool nil();     // NIL or ()
  bool at_nil();  // the same, without consuming it
  bool string(std::string& out);
  bool pathname(std::string& namestring);  // #P"..."
  bool integer(std::int64_t& out);
  bool number(double& out);  // an integer or a double
  // The text of the datum that starts here (for the host's reader).
  bool datum(std::string_view& text);

 private:
  bool skip_space();
  // A token: constituent characters up to a delimiter; no escapes.
  bool token(std::string_view& out);
  std::string_view text_;
  std::size_t pos_;
};

// Decoding one slot value: text_value<T>::parse(text, out) -> false to give up.
template <class T>
struct text_value;

template <>
struct text_value<std::string> {
  static bool parse(record_text& t, std::string& out) { return t.string(out); }
};
template <>
struct text_value<std::int64_t> {
  static bool parse(record_text& t, std::int64_t& out) { return t.integer(out); }
};
template <>
struct text_value<double> {
  static bool parse(record_text& t, double& out) { return t.number(out); }
};
template <>
struct text_value<std::filesystem::path> {
  static bool parse(record_text& t, std::filesystem::path& out);
};
template <>
struct text_value<core::keyword_name> {
  static bool parse(record_text& t, core::keyword_name& out);
};
template <>
struct text_value<core::lisp_datum> {
  static bool parse(record_text& t, core::lisp_datum& out);
};
template <>
struct text_value<sysid_value> {
  static bool parse(record_text& t, sysid_value& out);
};
template <>
struct text_value<share> {
  static bool parse(record_text& t, share& out);
};
template <>
struct text_value<change_key> {
  static bool parse(record_text& t, change_key& out);
};
template <>
struct text_value<load_status> {
  static bool parse(record_text& t, load_status& out);
};

template <class E>
requires std::is_enum_v<E>
struct text_value<E> {
  static bool parse(record_text& t, E& out) {
    std::string_view name;
    if (!t.any_keyword(name)) return false;
    const auto& names = core::keyword_enum<E>::names;
    for (std::size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) {
        out = static_cast<E>(i);
        return true;
      }
    return false;
  }
};

template <class T>
struct text_value<std::optional<T>> {
  static bool parse(record_text& t, std::optional<T>& out) {
    if (t.nil()) {
      out.reset();
      return true;
    }
    return text_value<T>::parse(t, out.emplace());
  }
};

namespace detail {
template <class Seq>
bool parse_list(record_text& t, Seq& out) {
  out.clear();
  if (t.nil()) return true;
  if (!t.open_list()) return false;
  while (!t.close_list()) {
    if (!text_value<typename Seq::value_type>::parse(t, out.emplace_back())) return false;
  }
  return true;
}
}  // namespace detail

template <class T>
struct text_value<std::vector<T>> {
  static bool parse(record_text& t, std::vector<T>& out) { return detail::parse_list(t, out); }
};
template <class T>
struct text_value<front_list<T>> {
  static bool parse(record_text& t, front_list<T>& out) {
    std::vector<T> in_order;
    if (!detail::parse_list(t, in_order)) return false;
    out = front_list<T>::of(std::move(in_order));
    return true;
  }
};

template <class A, class B>
struct text_value<std::pair<A, B>> {
  static bool parse(record_text& t, std::pair<A, B>& out) {
    return t.open_list() && text_value<A>::parse(t, out.first) && t.dot() &&
           text_value<B>::parse(t, out.second) && t.close_list();
  }
};

template <core::record R>
struct text_value<R> {
  static bool parse(record_text& t, R& out) {
    if (!t.open_structure(core::record_def<R>::name)) return false;
    bool ok = true;
    core::detail::for_each_slot<R>([&](const auto& sl) {
      using T = std::remove_cvref_t<decltype(out.*sl.member)>;
      ok = ok && t.keyword(sl.name) && text_value<T>::parse(t, out.*sl.member);
    });
    return ok && t.close_list();
  }
};

// The record that starts here, or nothing to give up.
template <class R>
std::optional<R> decode_record(record_text& t) {
  R r;
  if (!text_value<R>::parse(t, r)) return std::nullopt;
  return r;
}

// An instance or contents record, decoded in place.
bool decode_component_record(record_text& t, component_record& out);

}  // namespace vtm::records
