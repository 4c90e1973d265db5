// The fast path of writing a record file: a record printed straight from its
// C++ form, byte for byte as the host's pretty printer prints its Lisp form,
// without building Lisp values first.
//
// It knows only what records hold: structures of the module's package,
// proper lists, dotted pairs, strings, keywords, NIL, integers, doubles and
// pathnames. On anything else (a host handle, a symbol of another package, a
// string with a line break, a name that needs escaping) a print function
// returns false, and the caller prints the record with the host's printer.
// Giving up is therefore always safe; what the fast path prints must be what
// the host's pprint prints.
#pragma once

#include <algorithm>
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

// The host pretty printer's layout of logical blocks and conditional
// newlines, for a text whose end is known: lists fill lines, a structure
// that does not fit puts each slot on its own line, indented to the column
// after its prefix; lines are at most 80 characters where breaks allow.
class pretty_layout {
 public:
  // Starts a new text, keeping the buffers of the last one.
  void clear();
  // Text without line breaks.
  void text(std::string_view s);
  // The same for text known to be ASCII, one character a byte.
  void ascii(std::string_view s) {
    flat_ += s;
    chars_ += s.size();
  }
  // A string's printed form: in double quotes, with " and \\ escaped;
  // false for one with a line break, which the host prints.
  bool quoted(std::string_view s);
  void start_block(std::string_view prefix) {
    text(prefix);
    ops_.push_back({op_kind::block_start, depth_++, chars_, flat_.size()});
    deepest_ = std::max(deepest_, depth_);
  }
  void end_block(std::string_view suffix) {
    ops_.push_back({op_kind::block_end, --depth_, chars_, flat_.size()});
    text(suffix);
  }
  // A fill newline breaks when the section after it does not fit or the
  // section before it broke; a linear one when its block does not fit.
  void newline(bool fill) {
    ops_.push_back({fill ? op_kind::fill : op_kind::linear, depth_, chars_, flat_.size()});
  }
  // The laid out text, appended to out.
  void finish(std::string& out);

 private:
  enum class op_kind : unsigned char { fill, linear, block_start, block_end };
  struct op {
    op_kind kind;
    unsigned depth;
    std::size_t posn;   // characters before it
    std::size_t bytes;  // bytes of flat_ before it
  };
  std::string flat_;
  std::size_t chars_ = 0;
  unsigned depth_ = 0;
  unsigned deepest_ = 0;  // of the ops
  std::vector<op> ops_;
  // finish's work space, kept so that printing a record allocates nothing
  // once the buffers have grown to the size of the records.
  struct block {
    std::ptrdiff_t indentation;
    std::size_t section_start_line;
  };
  std::vector<std::size_t> section_end_, block_end_, next_newline_, open_;
  std::vector<block> blocks_;
};

// Printing one value: text_print<T>::print(layout, value) -> false to give up.
template <class T>
struct text_print;

bool print_string(pretty_layout& l, std::string_view s);
bool print_keyword(pretty_layout& l, std::string_view name);
void print_nil(pretty_layout& l);
void print_integer(pretty_layout& l, std::int64_t v);
bool print_double(pretty_layout& l, double v);
// The structure's name as the host prints it in the current package.
const std::string& printed_structure_name(const host::lisp::struct_type& type);

template <>
struct text_print<std::string> {
  static bool print(pretty_layout& l, const std::string& v) { return print_string(l, v); }
};
template <>
struct text_print<std::int64_t> {
  static bool print(pretty_layout& l, std::int64_t v) {
    print_integer(l, v);
    return true;
  }
};
template <>
struct text_print<double> {
  static bool print(pretty_layout& l, double v) { return print_double(l, v); }
};
template <>
struct text_print<record_path> {
  static bool print(pretty_layout& l, const record_path& v);
};
template <>
struct text_print<core::keyword_name> {
  static bool print(pretty_layout& l, const core::keyword_name& v);
};
template <>
struct text_print<core::lisp_datum> {
  static bool print(pretty_layout& l, const core::lisp_datum& v);
};
template <>
struct text_print<sysid_value> {
  static bool print(pretty_layout& l, const sysid_value& v);
};
template <>
struct text_print<share> {
  static bool print(pretty_layout& l, const share& v);
};
template <>
struct text_print<change_key> {
  static bool print(pretty_layout& l, const change_key& v);
};
template <>
struct text_print<load_status> {
  static bool print(pretty_layout& l, const load_status& v);
};

template <class E>
requires std::is_enum_v<E>
struct text_print<E> {
  static bool print(pretty_layout& l, E v) {
    return print_keyword(l, core::keyword_enum<E>::names[static_cast<std::size_t>(v)]);
  }
};

template <class T>
struct text_print<std::optional<T>> {
  static bool print(pretty_layout& l, const std::optional<T>& v) {
    if (!v) {
      print_nil(l);
      return true;
    }
    return text_print<T>::print(l, *v);
  }
};

namespace detail {
// A proper list. Keywords, the only symbols records hold, name no
// function, so no list is laid out as a call.
template <class Seq>
bool print_list(pretty_layout& l, const Seq& items) {
  if (items.empty()) {
    print_nil(l);
    return true;
  }
  l.start_block("(");
  bool first = true;
  for (const auto& item : items) {
    if (!first) {
      l.ascii(" ");
      l.newline(true);
    }
    first = false;
    if (!text_print<typename Seq::value_type>::print(l, item)) return false;
  }
  l.end_block(")");
  return true;
}
}  // namespace detail

template <class T>
struct text_print<std::vector<T>> {
  static bool print(pretty_layout& l, const std::vector<T>& v) { return detail::print_list(l, v); }
};
template <class T>
struct text_print<front_list<T>> {
  static bool print(pretty_layout& l, const front_list<T>& v) { return detail::print_list(l, v); }
};

template <class A, class B>
struct text_print<std::pair<A, B>> {
  static bool print(pretty_layout& l, const std::pair<A, B>& v) {
    l.start_block("(");
    if (!text_print<A>::print(l, v.first)) return false;
    l.ascii(" ");
    l.newline(true);
    l.ascii(". ");
    if (!text_print<B>::print(l, v.second)) return false;
    l.end_block(")");
    return true;
  }
};

// A list of a fixed number of values of their own types, e.g. (:KEY #P"path").
template <class... T>
requires(sizeof...(T) > 0) struct text_print<std::tuple<T...>> {
  static bool print(pretty_layout& l, const std::tuple<T...>& v) {
    l.start_block("(");
    bool ok = true, first = true;
    const auto item = [&](const auto& x) {
      if (!ok) return;
      if (!first) {
        l.ascii(" ");
        l.newline(true);
      }
      first = false;
      ok = text_print<std::remove_cvref_t<decltype(x)>>::print(l, x);
    };
    std::apply([&](const auto&... xs) { (item(xs), ...); }, v);
    if (!ok) return false;
    l.end_block(")");
    return true;
  }
};

template <core::record R>
struct text_print<R> {
  static bool print(pretty_layout& l, const R& r) {
    l.start_block("#S(");
    l.text(printed_structure_name(core::lisp_type<R>()));
    bool ok = true;
    core::detail::for_each_slot<R>([&](const auto& sl) {
      if (!ok) return;
      using T = std::remove_cvref_t<decltype(r.*sl.member)>;
      l.ascii(" ");
      l.newline(false);
      l.ascii(":");
      l.ascii(sl.name);
      l.ascii(" ");
      ok = text_print<T>::print(l, r.*sl.member);
    });
    if (!ok) return false;
    l.end_block(")");
    return true;
  }
};

// The record's text in a record file (a newline, then the form as pprint
// writes it), appended to out; false when the host's printer must print it.
template <class R>
bool print_record(const R& r, std::string& out) {
  thread_local pretty_layout l;
  l.clear();
  if (!text_print<R>::print(l, r)) return false;
  out += '\n';
  l.finish(out);
  return true;
}

bool print_component_record(const component_record& r, std::string& out);

}  // namespace vtm::records
