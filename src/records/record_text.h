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

#include <array>
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

namespace detail {
// The reader's character classes, looked up per byte.
enum : unsigned char { space_class = 1, terminating_class = 2, escape_class = 4 };
inline constexpr std::array<unsigned char, 256> character_classes = [] {
  std::array<unsigned char, 256> classes{};
  for (unsigned char c : {' ', '\t', '\n', '\r', '\f', '\x7f'}) classes[c] = space_class;
  for (unsigned char c : {'"', '\'', '(', ')', ',', ';', '`'}) classes[c] = terminating_class;
  for (unsigned char c : {'|', '\\'}) classes[c] = escape_class;
  return classes;
}();
inline unsigned char class_of(char c) { return character_classes[static_cast<unsigned char>(c)]; }
}  // namespace detail

class record_text {
 public:
  record_text(std::string_view text, std::size_t pos) : text_(text), pos_(pos) {}
  std::size_t pos() const { return pos_; }
  void rewind(std::size_t pos) { pos_ = pos; }

  // Each skips white space first.
  bool open_list() { return punctuation('('); }
  bool close_list() { return punctuation(')'); }
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
  // False at a comment, which is left to the host's reader.
  bool skip_space() {
    while (pos_ < text_.size() && detail::class_of(text_[pos_]) == detail::space_class) ++pos_;
    if (pos_ == text_.size()) return true;
    const char c = text_[pos_];
    return !(c == ';' || (c == '#' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '|'));
  }
  bool punctuation(char c) {
    if (!skip_space() || pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
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
struct text_value<record_path> {
  static bool parse(record_text& t, record_path& out);
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
// The elements are gathered in a vector kept for the next list of their type
// and moved into out at their exact number, so that a list costs one
// allocation and no regrowth. A list met while one of its type is being read
// (a list of lists) is read into out directly.
template <class Seq>
bool parse_list(record_text& t, Seq& out) {
  using T = typename Seq::value_type;
  out.clear();
  if (t.nil()) return true;
  if (!t.open_list()) return false;
  thread_local std::vector<T> gathered;
  thread_local bool in_use = false;
  if (in_use) {
    while (!t.close_list())
      if (!text_value<T>::parse(t, out.emplace_back())) return false;
    return true;
  }
  struct use {
    use() { in_use = true; }
    ~use() {
      in_use = false;
      gathered.clear();
      // A long list does not keep its room for good.
      if (gathered.capacity() > 256) std::vector<T>().swap(gathered);
    }
  } using_gathered;
  while (!t.close_list())
    if (!text_value<T>::parse(t, gathered.emplace_back())) return false;
  out.reserve(gathered.size());
  for (T& v : gathered) out.push_back(std::move(v));
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
