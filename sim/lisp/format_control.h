// A `format` control string parsed into directives. Parsing checks the whole
// control before anything is printed, as a conforming Lisp does: unknown
// directives, unbalanced brackets, too many parameters and modifiers a
// directive does not take are errors before the first argument is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host::lisp {

struct format_param {
  enum class kind : std::uint8_t { omitted, integer, character, next_arg /* v */, arg_count /* # */ };
  kind k = kind::omitted;
  std::int64_t integer = 0;
  char32_t character = 0;
};

struct format_directive {
  std::size_t position = 0;  // byte offset of the tilde (or of literal text)
  char32_t name = 0;         // upper-case directive character; 0 for literal text
  bool colon = false;
  bool at = false;
  std::vector<format_param> params;
  std::string text;                                    // literal text
  std::vector<std::vector<format_directive>> clauses;  // bodies of ~[ ~{ ~(
  bool default_clause = false;                         // ~[ whose last separator is ~:;
  bool closed_with_colon = false;                      // ~{ ended by ~:}
};

using format_directives = std::vector<format_directive>;

format_directives parse_format_control(std::string_view control);

// Signals the host's FORMAT-ERROR naming the control string and the
// character position of the byte offset.
[[noreturn]] void format_error(std::string_view control, std::size_t byte_offset, std::string_view cause);

}  // namespace host::lisp
