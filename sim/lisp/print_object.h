// The printer's pieces shared by the plain and the pretty printer.
#pragma once

#include <string>

#include "host/lisp/object.h"

namespace host::lisp {

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
