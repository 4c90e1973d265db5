// The reader: tokens, macro characters, #S/#P, errors with their positions,
// and input far larger than the C++ stack would allow by recursion.

#include "host/lisp/reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include "host/lisp/errors.h"
#include "host/lisp/object.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "lisp/printer_test_types.h"

namespace host::lisp {
namespace {

using ::testing::HasSubstr;
using testing::make_test_struct;
using testing::test_package;

ref read1(std::string_view text) { return read_from_string(text); }

// The message of the READER-ERROR that reading the text signals.
std::string reader_error(std::string_view text, std::string source = "input.lsp") {
  std::istringstream in{std::string(text)};
  reader r(in, std::move(source));
  try {
    for (ref form; r.read(form);) {
    }
  } catch (const lisp_error& e) {
    EXPECT_EQ(e.kind(), "READER-ERROR") << e.message();
    return e.message();
  }
  ADD_FAILURE() << "no error reading " << text;
  return "";
}

double read_double(std::string_view text) {
  ref v = read1(text);
  EXPECT_TRUE(is(v, tag::dfloat)) << text;
  return is(v, tag::dfloat) ? static_cast<dfloat_obj&>(*v).value : 0;
}

TEST(ReaderNumbers, IntegersWithSignsAndTheInt64Limits) {
  EXPECT_EQ(as_integer(read1("42")), 42);
  EXPECT_EQ(as_integer(read1("-17")), -17);
  EXPECT_EQ(as_integer(read1("+5")), 5);
  EXPECT_EQ(as_integer(read1("-0")), 0);
  EXPECT_EQ(as_integer(read1("12.")), 12);  // a trailing point means decimal
  EXPECT_EQ(as_integer(read1("9223372036854775807")), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(as_integer(read1("-9223372036854775808")), std::numeric_limits<std::int64_t>::min());
  EXPECT_THAT(reader_error("9223372036854775808"), HasSubstr("integer 9223372036854775808 is out of range"));
  EXPECT_THAT(reader_error("1/2"), HasSubstr("ratios such as 1/2 are not supported"));
}

TEST(ReaderNumbers, EveryFloatSyntaxReadsAsDouble) {
  EXPECT_EQ(read_double("1.5d0"), 1.5);
  EXPECT_EQ(read_double("3.9d9"), 3.9e9);
  EXPECT_EQ(read_double("1.0"), 1.0);
  EXPECT_EQ(read_double("1e3"), 1000.0);
  EXPECT_EQ(read_double("1.E3"), 1000.0);
  EXPECT_EQ(read_double(".5"), 0.5);
  EXPECT_EQ(read_double("-.5e-2"), -0.005);
  EXPECT_EQ(read_double("0.1f0"), 0.1);  // the decimal text, not a single float widened
  EXPECT_EQ(read_double("1.5s0"), 1.5);
  EXPECT_EQ(read_double("1.5L0"), 1.5);
  EXPECT_EQ(read_double("4.9406564584124654d-324"), std::numeric_limits<double>::denorm_min());
  EXPECT_TRUE(std::signbit(read_double("-0.0d0")));
  EXPECT_THAT(reader_error("1d400"), HasSubstr("float 1D400 is out of range"));
}

TEST(ReaderNumbers, TokensThatOnlyLookNumericAreSymbols) {
  for (const char* text : {"1+", "-", "+", "1e", "1.5x", "+.", "..a", "1/", "1/2/3", "e5", "._"}) {
    ref v = read1(text);
    ASSERT_TRUE(symbolp(v)) << text;
  }
  EXPECT_EQ(as_symbol(read1("1+")).name, "1+");
  EXPECT_TRUE(symbolp(read1("|12|")));
  EXPECT_TRUE(symbolp(read1("\\12")));
}

TEST(ReaderStrings, EscapesAndUtf8Text) {
  EXPECT_EQ(as_string(read1(R"("a\"b\\c")")), "a\"b\\c");
  EXPECT_EQ(as_string(read1(R"("\q")")), "q");
  EXPECT_EQ(as_string(read1("\"Straße 日本\nzwei\"")), "Straße 日本\nzwei");
  EXPECT_EQ(as_string(read1("\"\"")), "");
}

TEST(ReaderCharacters, SingleCharactersNamesAndUtf8) {
  auto code = [](std::string_view text) { return static_cast<character_obj&>(*read1(text)).code; };
  EXPECT_EQ(code("#\\a"), U'a');
  EXPECT_EQ(code("#\\A"), U'A');
  EXPECT_EQ(code("#\\Space"), U' ');
  EXPECT_EQ(code("#\\space"), U' ');
  EXPECT_EQ(code("#\\Newline"), U'\n');
  EXPECT_EQ(code("#\\Tab"), U'\t');
  EXPECT_EQ(code("#\\Rubout"), 127u);
  EXPECT_EQ(code("#\\("), U'(');
  EXPECT_EQ(code("#\\ "), U' ');
  EXPECT_EQ(code("#\\é"), U'é');
  EXPECT_EQ(code("#\\日"), U'日');
  ref l = read1("(#\\) #\\a)");
  EXPECT_EQ(static_cast<character_obj&>(*car(l)).code, U')');
  EXPECT_THAT(reader_error("#\\Bogus"), HasSubstr("unknown character name #\\Bogus"));
}

TEST(ReaderSymbols, CaseEscapesAndPackages) {
  package& p = test_package();
  EXPECT_EQ(read1("foo"), ref(&intern("FOO", current_package())));
  EXPECT_EQ(as_symbol(read1("|foo bar|")).name, "foo bar");
  EXPECT_EQ(as_symbol(read1("a\\b|c D|e")).name, "Abc DE");
  EXPECT_EQ(as_symbol(read1("|a\\|b|")).name, "a|b");
  EXPECT_EQ(as_symbol(read1("||")).name, "");
  EXPECT_EQ(read1(":key"), ref(&keyword("KEY")));
  EXPECT_EQ(read1(":|mixed Case|"), ref(&keyword("mixed Case")));
  EXPECT_EQ(read1("rp-test:exported"), ref(&intern("EXPORTED", p)));
  EXPECT_EQ(read1("RPT:EXPORTED"), ref(&intern("EXPORTED", p)));
  EXPECT_EQ(read1("rp-test::point"), ref(&intern("POINT", p)));
  EXPECT_EQ(read1("cl:car"), ref(&cl_symbol("CAR")));
  EXPECT_EQ(read1("nil"), nil());
  EXPECT_EQ(read1("()"), nil());
  EXPECT_EQ(as_symbol(read1("a\\:b")).name, "A:B");
  EXPECT_EQ(as_symbol(read1("#:gensym")).home_package, nullptr);

  EXPECT_THAT(reader_error("(a no-such-package:x)"), HasSubstr("the package NO-SUCH-PACKAGE does not exist"));
  EXPECT_THAT(reader_error("rp-test:point"),
              HasSubstr("the symbol POINT is not external in the package RP-TEST"));
  EXPECT_THAT(reader_error("rp-test:never-interned"),
              HasSubstr("the symbol NEVER-INTERNED does not exist in the package RP-TEST"));
  EXPECT_THAT(reader_error("a:b:c"), HasSubstr("too many package markers in A:B:C"));
  EXPECT_THAT(reader_error("rp-test:"), HasSubstr("no symbol name after the package marker"));
}

TEST(ReaderLists, QuotesDottedPairsAndComments) {
  EXPECT_EQ(prin1_to_string(read1("'x")), "(QUOTE X)");
  EXPECT_EQ(prin1_to_string(read1("#'f")), "(FUNCTION F)");
  EXPECT_EQ(prin1_to_string(read1("''(a . b)")), "(QUOTE (QUOTE (A . B)))");
  EXPECT_EQ(prin1_to_string(read1("(1 (2 3) . 4)")), "(1 (2 3) . 4)");
  EXPECT_EQ(prin1_to_string(read1("(a . (b c))")), "(A B C)");
  EXPECT_EQ(prin1_to_string(read1("(a .b)")), "(A .B)");
  EXPECT_EQ(prin1_to_string(read1("(a ; comment )\n b #| block #| nested |# ) |# c)")), "(A B C)");
  EXPECT_EQ(prin1_to_string(read1("(a#b c)")), "(|A#B| C)");  // # inside a token is a constituent

  EXPECT_THAT(reader_error("(a . b c)"), HasSubstr("more than one object follows the dot"));
  EXPECT_THAT(reader_error("(. a)"), HasSubstr("a dot is only allowed before the last element"));
  EXPECT_THAT(reader_error("(a . )"), HasSubstr("nothing follows the dot"));
  EXPECT_THAT(reader_error("(a . . b)"), HasSubstr("a dot is only allowed"));
  EXPECT_THAT(reader_error("'."), HasSubstr("a dot is only allowed"));
  EXPECT_THAT(reader_error("(a ..)"), HasSubstr("the token .. consists only of dots"));
  EXPECT_THAT(reader_error("a)"), HasSubstr("unmatched close parenthesis"));
}

TEST(ReaderDispatch, StructuresByNameWithOrWithoutPackage) {
  test_package();
  const ref expected =
      make_test_struct("LABELED-POINT", {make_integer(1), make_string("y"), ref(&keyword("L"))});
  for (const char* text : {"#S(rp-test::labeled-point :x 1 :y \"y\" :label :l)",
                           "#s(RPT::LABELED-POINT :LABEL :L :Y \"y\" :X 1)",
                           "#S(labeled-point :x 1 :y \"y\" rp-test::label :l)"}) {
    const ref v = read1(text);
    ASSERT_TRUE(is(v, tag::structure)) << text;
    EXPECT_EQ(static_cast<structure_obj&>(*v).type, &testing::test_type("LABELED-POINT")) << text;
    EXPECT_TRUE(equalp(v, expected)) << text;
  }
  const ref partial = read1("#S(RP-TEST::POINT :Y 2)");
  EXPECT_TRUE(is_nil(static_cast<structure_obj&>(*partial).slots[0]));
  const ref nested = read1("#S(RP-TEST::BOX :CONTENTS #S(RP-TEST::POINT :X 1 :Y 2) :ITEMS (#P\"/a/b.c\"))");
  const ref inner = static_cast<structure_obj&>(*nested).slots[0];
  EXPECT_EQ(as_integer(static_cast<structure_obj&>(*inner).slots[1]), 2);

  EXPECT_THAT(reader_error("#S(RP-TEST::NO-SUCH-TYPE :X 1)"),
              HasSubstr("unknown structure type RP-TEST::NO-SUCH-TYPE"));
  EXPECT_THAT(reader_error("#S(RP-TEST::POINT :Z 1)"),
              HasSubstr("the structure RP-TEST::POINT has no slot :Z"));
  EXPECT_THAT(reader_error("#S(RP-TEST::POINT :X)"),
              HasSubstr("the slot :X of #S(RP-TEST::POINT ...) has no value"));
  EXPECT_THAT(reader_error("#S 5"), HasSubstr("#S must be followed by a list"));
}

TEST(ReaderDispatch, PathnamesAndUnsupportedSyntax) {
  const ref p = read1("#P\"/data/in/some dir/a.pkg\"");
  ASSERT_TRUE(is(p, tag::pathname));
  EXPECT_EQ(as_pathname(p).parts, parse_namestring("/data/in/some dir/a.pkg"));
  EXPECT_TRUE(equal(read1("#p\"models/X.sda\""), read1("#P\"models/X.sda\"")));
  EXPECT_THAT(reader_error("#P 12"), HasSubstr("#P must be followed by a string"));
  EXPECT_THAT(reader_error("#(1 2)"), HasSubstr("vectors (#( syntax) are not supported"));
  EXPECT_THAT(reader_error("`(a ,b)"), HasSubstr("backquote syntax is not supported"));
  EXPECT_THAT(reader_error("#<HASH-TABLE>"), HasSubstr("an unreadable object"));
  EXPECT_THAT(reader_error("#.(+ 1 2)"), HasSubstr("the dispatch macro #. is not supported"));
}

TEST(ReaderInput, CleanEndAndCutOffFormsNameSourceAndStart) {
  test_package();
  std::istringstream in("  (a b) ; trailing comment\n  \"s\" #| done |#\n");
  reader r(in, "toc.lsp");
  ref form;
  ASSERT_TRUE(r.read(form));
  EXPECT_EQ(prin1_to_string(form), "(A B)");
  ASSERT_TRUE(r.read(form));
  EXPECT_EQ(as_string(form), "s");
  EXPECT_FALSE(r.read(form));
  EXPECT_FALSE(r.read(form));

  EXPECT_EQ(reader_error("(a b)\n\n  (c (d e)\n f", "toc.lsp"),
            "toc.lsp: the form starting at line 3, column 3 is cut off by the end of input");
  EXPECT_THAT(reader_error("(a)\n #S(RP-TEST::POINT :X \"unterminated"),
              HasSubstr("line 2, column 2 is cut off"));
  EXPECT_THAT(reader_error("x '"), HasSubstr("line 1, column 3 is cut off"));
  EXPECT_THAT(reader_error("|open"), HasSubstr("line 1, column 1 is cut off"));
  EXPECT_THAT(reader_error("abc\\"), HasSubstr("line 1, column 1 is cut off"));
  EXPECT_THAT(reader_error("#\\"), HasSubstr("cut off"));
  EXPECT_THAT(reader_error("a #| never closed"),
              HasSubstr("the comment starting at line 1, column 3 is cut off"));
  // Columns count characters, not bytes.
  EXPECT_EQ(reader_error("\"äöü\" (x", "f"),
            "f: the form starting at line 1, column 7 is cut off by the end of input");
  EXPECT_EQ(reader_error("\n  \"é\" a:b:c", "f"), "f, line 2, column 7: too many package markers in A:B:C");

  try {
    read_from_string("   ; nothing\n");
    ADD_FAILURE() << "no error at the end of the string";
  } catch (const lisp_error& e) {
    EXPECT_EQ(e.kind(), "END-OF-FILE");
  }
  EXPECT_EQ(read_all_from_string("1 2 (3)").size(), 3u);
}

TEST(ReaderInput, FormsLeaveTheStreamRightAfterThem) {
  std::istringstream in("abc(d)\"e\"f");
  for (const char* expected : {"ABC", "(D)", "\"e\"", "F"}) {
    reader r(in, "stream");  // a fresh reader per form, as the Lisp READ does
    ref form;
    ASSERT_TRUE(r.read(form));
    EXPECT_EQ(prin1_to_string(form), expected);
  }
}

TEST(ReaderInput, HugeAndDeepFormsDoNotUseTheStack) {
  std::string text = "(";
  for (int i = 0; i < 100000; ++i) text += std::to_string(i) + " ";
  text += ". end)";
  const ref l = read1(text);
  EXPECT_EQ(list_length(l), 100000u);
  EXPECT_EQ(as_integer(car(l)), 0);

  // Nesting up to the limit reads, prints and reads back.
  const std::size_t limit = max_nesting;
  const std::string deepest = std::string(limit, '(') + "X" + std::string(limit, ')');
  const ref deep = read1(deepest);
  EXPECT_EQ(prin1_to_string(deep), deepest);
  EXPECT_TRUE(equal(read1(pprint_to_string(deep)), deep));
}

TEST(ReaderInput, NestingBeyondTheLimitAndTextNotUtf8AreErrorsWithTheByteOffset) {
  test_package();
  const std::string prefix = "(ok)\n";
  for (const std::string& opener : {std::string("("), std::string("'"), std::string("#'")}) {
    std::string text = prefix;
    for (std::size_t i = 0; i < 100000; ++i) text += opener;
    EXPECT_EQ(reader_error(text + "x", "record.lsp"),
              "record.lsp, byte " +
                  std::to_string(prefix.size() + max_nesting * opener.size() + opener.size() - 1) +
                  " (line 2, column " + std::to_string(max_nesting * opener.size() + opener.size() + 1) +
                  "): forms are nested deeper than 1000 levels")
        << opener;
  }
  // Latin-1 text ("Café" saved in a Windows code page), a stray continuation
  // byte, an overlong form and a surrogate.
  EXPECT_EQ(reader_error("(a \"Caf\xe9\")", "site.lsp"),
            "site.lsp, byte 7 (line 1, column 9): the text is not valid UTF-8; save the file as UTF-8");
  EXPECT_THAT(reader_error("; comment \x80\n(a)"), HasSubstr("input.lsp, byte 10 "));
  EXPECT_THAT(reader_error("(a \"\xc0\xaf\")"), HasSubstr("byte 4 "));
  EXPECT_THAT(reader_error("(a \"\xed\xa0\x80\")"), HasSubstr("byte 4 "));
  // A character cut in two by the end of the input cuts off the form.
  EXPECT_THAT(reader_error("abc \"\xe2\x82"), HasSubstr("line 1, column 5 is cut off by the end of input"));
  EXPECT_EQ(prin1_to_string(read1("\"\xe2\x82\xac \xf0\x9f\x98\x80\"")), "\"\xe2\x82\xac \xf0\x9f\x98\x80\"");
}

TEST(ReaderInput, DeepValuesBuiltAtRunTimeAreFreedComparedAndRefusedByThePrinter) {
  // Deeper than anything the reader returns: freeing and comparing must not
  // recurse, printing must refuse rather than overflow the stack.
  const auto nest = [](int depth) {
    ref v = make_string("x");
    for (int i = 0; i < depth; ++i) v = list({v});
    return v;
  };
  const ref a = nest(200000), b = nest(200000);
  EXPECT_TRUE(equal(a, b));
  EXPECT_TRUE(equalp(a, b));
  EXPECT_FALSE(equal(a, nest(199999)));
  EXPECT_FALSE(equalp(a, nest(199999)));
  for (const auto& print : {prin1_to_string, princ_to_string, pprint_to_string}) try {
      print(a);
      ADD_FAILURE() << "printed";
    } catch (const lisp_error& e) {
      EXPECT_EQ(e.message(), "The value is nested deeper than 1000 levels and cannot be printed.");
    }
  // The guard is released after the error: shallow values still print.
  EXPECT_EQ(prin1_to_string(nest(2)), "((\"x\"))");
}

}  // namespace
}  // namespace host::lisp
