// The host's Lisp reader: standard syntax with #S(...), #P"...", #' and
// dotted pairs. Symbols without a package prefix are interned in the current
// package; their names are upcased unless escaped.
#pragma once

#include <istream>
#include <string>
#include <string_view>

#include "host/lisp/object.h"

namespace host::lisp {

class reader {
 public:
  // `source` names the text in errors (a file name or "string").
  reader(std::istream& in, std::string source);
  // Reads the next form; false at a clean end of input. A form cut off by the
  // end of input is a READER-ERROR naming the source and the position.
  bool read(ref& form);
  // Position (1-based line and column) of the next character.
  std::size_t line() const { return line_; }
  std::size_t column() const { return column_; }

 private:
  int peek();
  int get();
  ref read_form(bool& got);
  ref read_list(char close);
  ref read_token(std::string first);
  ref read_string();
  ref read_dispatch();
  void skip_whitespace_and_comments();
  [[noreturn]] void fail(std::string_view what) const;

  std::istream& in_;
  std::string source_;
  std::size_t line_ = 1, column_ = 1;
};

// Reads one form from text; signals at end of input.
ref read_from_string(std::string_view text);
// Reads every form of the text.
std::vector<ref> read_all_from_string(std::string_view text, std::string source = "string");

}  // namespace host::lisp
