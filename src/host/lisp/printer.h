// The host's Lisp printer. prin1 writes readably (strings quoted and escaped,
// symbols with package prefixes where the current package needs them); princ
// writes for people. What prin1 writes the reader reads back equal.
#pragma once

#include <ostream>
#include <string>

#include "host/lisp/object.h"

namespace host::lisp {

void prin1(const ref& value, std::ostream& out);
void princ(const ref& value, std::ostream& out);
// print: newline, prin1 form, space.
void print(const ref& value, std::ostream& out);
// pprint: newline, then the form laid out by the pretty printer within the
// right margin (80 columns); no trailing space.
void pprint(const ref& value, std::ostream& out);

std::string prin1_to_string(const ref& value);
std::string princ_to_string(const ref& value);
std::string pprint_to_string(const ref& value);  // without the leading newline

// A double in Common Lisp syntax with exponent marker d, shortest digits that
// read back to the identical value (1.5d0, 3.9123456789d9).
std::string format_double(double v);

}  // namespace host::lisp
