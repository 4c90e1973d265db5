// `format` beyond the SBCL table: errors, controls built at run time,
// values the reader cannot spell, stream output and the Lisp builtin.

#include "host/lisp/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/object.h"
#include "host/lisp/packages.h"
#include "host/lisp/reader.h"
#include "host/lisp/streams.h"

namespace host::lisp {
namespace {

std::string format_of(std::string_view control, std::string_view lisp_args) {
  const std::vector<ref> args = list_to_vector(read_from_string("(" + std::string(lisp_args) + ")"));
  return format(control, args_t(args));
}

struct bad_control {
  const char* control;
  const char* args;
  const char* cause;
  std::size_t position;
};

TEST(FormatErrors, NameTheControlThePositionAndTheCause) {
  const bad_control cases[] = {
      {"~Q", "", "Unknown directive (character: Q)", 0},
      {"ab~", "", "String ended before directive was found", 2},
      {"x~'", "", "String ended before directive was found", 1},
      {"~{~A", "(1)", "No corresponding close brace", 0},
      {"~A~}", "1", "No corresponding open brace", 2},
      {"a~[b", "0", "No corresponding close bracket", 1},
      {"~]", "", "No corresponding open bracket", 0},
      {"~(x", "", "No corresponding close parenthesis", 0},
      {"~)", "", "No corresponding open parenthesis", 0},
      {"~:;", "", "~; directive not contained within ~[...~]", 0},
      {"~(a~;b~)", "", "~; directive not contained within ~[...~]", 3},
      {"~A~:^x", "1", "Attempt to use ~:^ outside a ~:{...~} construct", 2},
      {"~:{~{~:^~}~}", "(((1)))", "Attempt to use ~:^ outside a ~:{...~} construct", 5},
      {"~A ~A", "1", "No more arguments", 3},
      {"~{~A~*~A~}", "(1 2 3 4)", "No more arguments", 4},
      {"~A~2:*~A", "1", "Index -1 is out of bounds. It should have been between 0 and 1.", 2},
      {"~5@*", "1", "Index 5 is out of bounds. It should have been between 0 and 1.", 0},
      {"~[a~;b~]", "x", "The argument to ~[ is not an integer: X", 0},
      {"~{~A~}", "5", "The value 5 is not of type LIST", 0},
      {"~{~A~}", "(1 2 . 3)", "The value 3 is not of type LIST", 2},
      {"~:{~A~}", "(1)", "The value 1 is not of type LIST", 0},
      {"~{~}", "5 (1)", "The value 5 is not of type STRING", 0},
      {"~1,2,3,4,5D", "1", "Too many parameters, expected no more than 4", 0},
      {"~2(x~)", "", "Too many parameters, expected none", 0},
      {"~1:[a~;b~]", "t", "Too many parameters, expected none", 0},
      {"~:%", "", "The colon modifier cannot be used with this directive.", 0},
      {"~@^", "", "The at-sign modifier cannot be used with this directive.", 0},
      {"~:@[x~]", "t",
       "The colon and the at-sign modifiers cannot be used simultaneously with this directive.", 0},
      {"~:[a~]", "t", "Must specify exactly two sections", 0},
      {"~@[a~;b~]", "t", "Can only specify one section", 0},
      {"~,0A", "1", "The value of colinc is 0, should be a positive integer", 0},
      {"~vA", "-3 1", "The value of mincol is -3, should be a non-negative integer", 0},
      {"~,,,0:D", "12345", "The value of comma-interval is 0, should be a positive integer", 0},
      {"~'xD", "3", "The value #\\x is not of type INTEGER", 0},
      {"~3,4D", "3", "The value 4 is not of type CHARACTER", 0},
      {"~+A", "1", "Digits expected after the sign", 0},
      // Positions count characters, not bytes.
      {"äö~Q", "", "Unknown directive (character: Q)", 2},
      // An iteration that uses no arguments would never end.
      {"~{x~}", "(1)", "The body of ~{ consumes no arguments and never ends", 0},
      {"~@{~A~:*~}", "1", "The body of ~{ consumes no arguments and never ends", 0},
      // Widths and counts that would run away are errors of the control string.
      {"ab~1000000000~", "", "The value of the repetition count is 1000000000, more than the limit of 100000",
       2},
      {"~9223372036854775807A", "1",
       "The value of mincol is 9223372036854775807, more than the limit of 100000", 0},
      {"~,,200000A", "1", "The value of minpad is 200000, more than the limit of 100000", 0},
      {"~vD", "100001 1", "The value of mincol is 100001, more than the limit of 100000", 0},
      {"~v%", "1000000", "The value of the repetition count is 1000000, more than the limit of 100000", 0},
      {"~v@{~A~:*~}", "1000000000 \"=\"",
       "The value of the repetition count is 1000000000, more than the limit of 100000", 0},
  };
  for (const bad_control& c : cases) {
    SCOPED_TRACE(c.control);
    try {
      format_of(c.control, c.args);
      ADD_FAILURE() << "no error";
    } catch (const lisp_error& e) {
      EXPECT_EQ(e.kind(), "FORMAT-ERROR");
      std::string quoted;
      for (const char* p = c.control; *p; ++p)
        quoted += std::string(*p == '"' || *p == '\\' ? "\\" : "") + *p;
      EXPECT_EQ(e.message(), "error in FORMAT at position " + std::to_string(c.position) + " of \"" + quoted +
                                 "\": " + c.cause);
    }
  }
}

TEST(FormatErrors, SyntaxIsCheckedBeforeAnythingIsPrinted) {
  std::ostringstream out;
  const ref one = make_integer(1);
  EXPECT_THROW(format(out, "~A then ~Q", args_t(&one, 1)), lisp_error);
  EXPECT_EQ(out.str(), "");
  // A missing argument is found while printing: the text before it stays.
  EXPECT_THROW(format(out, "~A and ~A", args_t(&one, 1)), lisp_error);
  EXPECT_EQ(out.str(), "1 and ");
}

TEST(Format, ControlBuiltAtRunTime) {
  const std::int64_t width = 12;
  const std::string row = format("### ~~~DA| ~~A", make_integer(width));
  EXPECT_EQ(row, "### ~12A| ~A");
  EXPECT_EQ(format(row, make_string("Setting"), make_string("Value")), "### Setting     | Value");
  EXPECT_EQ(format(row, make_string("Sprache"), make_string("Français")), "### Sprache     | Français");
  EXPECT_EQ(format("### ~v@{~A~:*~}", make_integer(width + 5), make_string("=")), "### =================");
}

TEST(Format, IntegersAtTheLimitsOf64Bits) {
  const ref lowest = make_integer(std::numeric_limits<std::int64_t>::min());
  const ref highest = make_integer(std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(format("~D ~X", lowest, lowest), "-9223372036854775808 -8000000000000000");
  EXPECT_EQ(format("~:D ~@X", highest, highest), "9,223,372,036,854,775,807 +7FFFFFFFFFFFFFFF");
}

TEST(Format, CharacterParametersFromArguments) {
  EXPECT_EQ(format("~10,,,vA|", make_character(U'-'), make_string("x")), "x---------|");
  EXPECT_EQ(format("~,,v:D", make_character(U'.'), make_integer(123456)), "123.456");
  EXPECT_EQ(format("~6,vD|", make_character(U'ü'), make_integer(42)), "üüüü42|");
  EXPECT_EQ(format("~A ~A", make_character(U'c'), make_character(U'ß')), "c ß");
}

TEST(Format, LispBuiltin) {
  const ref fn = symbol_function(cl_symbol("FORMAT"));
  const auto call_format = [&](std::initializer_list<ref> args) {
    const std::vector<ref> v(args);
    return as_function(fn).native(args_t(v));
  };
  EXPECT_EQ(as_string(call_format({nil(), make_string("~A+~A"), make_integer(1), make_integer(2)})), "1+2");

  std::ostringstream out;
  set_standard_output(out);
  const ref to_t =
      call_format({t(), make_string("File ~A loaded with method ~A~%"), make_string("a.sd"), &keyword("SD")});
  const ref to_stream = call_format(
      {standard_output_stream(), make_string("~{~A~^;~}"), list({make_string("M1"), make_string("M2")})});
  set_standard_output(std::cout);
  EXPECT_TRUE(is_nil(to_t));
  EXPECT_TRUE(is_nil(to_stream));
  EXPECT_EQ(out.str(), "File a.sd loaded with method SD\nM1;M2");

  EXPECT_THROW(call_format({nil()}), lisp_error);
  EXPECT_THROW(call_format({nil(), make_integer(3)}), lisp_error);
}

}  // namespace
}  // namespace host::lisp
