// The host's Lisp reader: standard syntax with #S(...), #P"...", #' and
// dotted pairs. Symbols without a package prefix are interned in the current
// package; their names are upcased unless escaped.
#pragma once

#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "host/lisp/object.h"

namespace host::lisp {

// Forms nested deeper than this (lists, quotes, #S and #P) are an error.
inline constexpr std::size_t max_nesting = 1000;

class reader {
 public:
  // `source` names the text in errors (a file name or "string").
  reader(std::istream& in, std::string source);
  // Reads the next form; false at a clean end of input. A form cut off by the
  // end of input is a READER-ERROR naming the source and the position; so
  // are text that is not UTF-8 and nesting deeper than max_nesting, which
  // also name the byte offset.
  bool read(ref& form);
  // Position (1-based line and column) of the next character.
  std::size_t line() const { return line_; }
  std::size_t column() const { return column_; }

 private:
  struct position {
    std::size_t line, column;
  };
  int peek();
  int get();
  position here() const { return {line_, column_}; }
  int next_form_char();
  void skip_block_comment(position start);
  ref read_token(int first, bool& dot);
  void read_token_text(int first);
  ref read_string();
  ref read_character();
  ref intern_token(position start);
  [[noreturn]] void fail(position at, std::string_view what) const;
  [[noreturn]] void fail_cut_off() const;
  [[noreturn]] void fail_at_byte(std::size_t offset, std::string_view what) const;
  [[noreturn]] void fail_utf8(std::size_t offset) const;
  void check_utf8(unsigned char byte);

  std::istream& in_;
  std::streambuf* buf_;
  std::string source_;
  std::size_t line_ = 1, column_ = 1;
  std::size_t offset_ = 0;  // bytes read so far
  // The UTF-8 sequence being read: bytes still expected, the range the
  // next one must fall in, and the offset of its first byte.
  int utf8_pending_ = 0;
  unsigned char utf8_low_ = 0x80, utf8_high_ = 0xBF;
  std::size_t utf8_start_ = 0;
  position start_{1, 1};       // where the current token or macro character began
  position form_start_{1, 1};  // where the outermost form being read began
  std::string token_;          // the current token, case already converted
  std::vector<bool> escaped_;  // per byte of token_: written with an escape
  bool token_escaped_ = false;
};

// Reads one form from text; signals at end of input.
ref read_from_string(std::string_view text);
// Reads every form of the text.
std::vector<ref> read_all_from_string(std::string_view text, std::string source = "string");

}  // namespace host::lisp
