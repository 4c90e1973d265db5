// The printer's pieces shared by the plain and the pretty printer.
#pragma once

#include <string>

#include "host/lisp/object.h"

namespace host::lisp {

// Counts the lists and structures being printed one inside the other; past
// the reader's max_nesting printing is an error, so that the printer never
// exhausts the stack and never writes what the reader refuses.
class nesting_guard {
 public:
  nesting_guard();
  ~nesting_guard() { --depth_; }
  nesting_guard(const nesting_guard&) = delete;
  nesting_guard& operator=(const nesting_guard&) = delete;

 private:
  static thread_local std::size_t depth_;
};

// Appends the printed form of value; escape selects prin1 (true) or princ.
void write_object(std::string& out, const ref& value, bool escape);
// Everything but conses and structures, which the pretty printer lays out.
void write_atom(std::string& out, const ref& value, bool escape);
// A symbol with the prefix and bars the current package and escape call for.
void write_symbol(std::string& out, const symbol& s, bool escape);
// A structure slot name as #S shows it: a colon, then the name.
void write_slot_name(std::string& out, const symbol& slot, bool escape);
// The value laid out by the pretty printer within 80 columns, starting at column 0.
void write_pretty(std::string& out, const ref& value, bool escape);

}  // namespace host::lisp
