// The printer: readable and human forms of every value kind, doubles, the
// pretty printer's layouts (expected texts made with SBCL), and round trips
// through the reader.

#include "host/lisp/printer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/object.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/reader.h"
#include "lisp/printer_test_types.h"

namespace host::lisp {
namespace {

using testing::make_test_struct;
using ::testing::MatchesRegex;
using testing::test_package;

ref sym(std::string_view name) { return ref(&intern(name, test_package())); }
ref kw(std::string_view name) { return ref(&keyword(name)); }

// Printing in RP-TEST, where the test types need no package prefix.
struct in_test_package {
  special_binding binding{cl_symbol("*PACKAGE*"), ref(&test_package())};
};

TEST(PrinterAtoms, StringsCharactersAndIntegers) {
  EXPECT_EQ(prin1_to_string(make_string("a\"b\\c")), R"("a\"b\\c")");
  EXPECT_EQ(princ_to_string(make_string("a\"b\\c")), R"(a"b\c)");
  EXPECT_EQ(prin1_to_string(make_string("Straße\n日本")), "\"Straße\n日本\"");
  EXPECT_EQ(prin1_to_string(make_character(U'a')), "#\\a");
  EXPECT_EQ(prin1_to_string(make_character(U' ')), "#\\Space");
  EXPECT_EQ(prin1_to_string(make_character(U'\n')), "#\\Newline");
  EXPECT_EQ(prin1_to_string(make_character(0)), "#\\Nul");
  EXPECT_EQ(prin1_to_string(make_character(27)), "#\\Esc");
  EXPECT_EQ(prin1_to_string(make_character(127)), "#\\Rubout");
  EXPECT_EQ(prin1_to_string(make_character(U'é')), "#\\é");
  EXPECT_EQ(princ_to_string(make_character(U'é')), "é");
  EXPECT_EQ(prin1_to_string(make_integer(std::numeric_limits<std::int64_t>::min())), "-9223372036854775808");
  EXPECT_EQ(prin1_to_string(make_integer(std::numeric_limits<std::int64_t>::max())), "9223372036854775807");
}

TEST(PrinterAtoms, DoublesAsSbclWritesThem) {
  const std::pair<double, const char*> table[] = {
      {0.0, "0.0d0"},
      {-0.0, "-0.0d0"},
      {1.5, "1.5d0"},
      {0.1, "0.1d0"},
      {100.0, "100.0d0"},
      {12345.678, "12345.678d0"},
      {9999999.999, "9999999.999d0"},
      {1e7, "1.0d7"},
      {3.912345678e9, "3.912345678d9"},
      {1e-3, "0.001d0"},
      {9.9e-4, "9.9d-4"},
      {1e-4, "1.0d-4"},
      {-2.5e-10, "-2.5d-10"},
      {1.0 / 3, "0.3333333333333333d0"},
      {1e23, "1.0d23"},
      {1e300, "1.0d300"},
      {std::numeric_limits<double>::max(), "1.7976931348623157d308"},
      {std::numeric_limits<double>::min(), "2.2250738585072014d-308"},
      // Subnormals get the digits of a 53-bit precision, as in SBCL.
      {std::numeric_limits<double>::denorm_min(), "4.9406564584124654d-324"},
      {2 * std::numeric_limits<double>::denorm_min(), "9.881312916824931d-324"},
      {std::numeric_limits<double>::infinity(), "#.SB-EXT:DOUBLE-FLOAT-POSITIVE-INFINITY"},
  };
  for (const auto& [v, text] : table) EXPECT_EQ(format_double(v), text);
  EXPECT_EQ(prin1_to_string(make_double(1.5)), "1.5d0");
  EXPECT_EQ(princ_to_string(make_double(1.5)), "1.5d0");
}

TEST(PrinterSymbols, PrefixesKeywordsAndBars) {
  EXPECT_EQ(prin1_to_string(kw("KEY")), ":KEY");
  EXPECT_EQ(princ_to_string(kw("KEY")), "KEY");
  EXPECT_EQ(prin1_to_string(ref(&cl_symbol("CAR"))), "CAR");
  EXPECT_EQ(prin1_to_string(sym("POINT")), "RP-TEST::POINT");
  EXPECT_EQ(prin1_to_string(sym("EXPORTED")), "RP-TEST:EXPORTED");
  EXPECT_EQ(princ_to_string(sym("POINT")), "POINT");
  EXPECT_EQ(prin1_to_string(ref(make_uninterned_symbol("G1"))), "#:G1");
  {
    in_test_package here;
    EXPECT_EQ(prin1_to_string(sym("POINT")), "POINT");
    EXPECT_EQ(prin1_to_string(ref(&intern("FOO", user_package()))), "COMMON-LISP-USER::FOO");
  }
  const std::pair<const char*, const char*> names[] = {
      {"foo", "|foo|"}, {"A B", "|A B|"}, {"", "||"},         {"1", "|1|"},         {"1E", "|1E|"},
      {"1AB", "1AB"},   {"1+", "1+"},     {"+", "+"},         {"-5", "|-5|"},       {".5A", "|.5A|"},
      {"..", "|..|"},   {"A.B", "A.B"},   {"^A", "^A"},       {"_1", "|_1|"},       {"1/", "|1/|"},
      {"A#B", "|A#B|"}, {"A:B", "|A:B|"}, {"A|B", "|A\\|B|"}, {"A\\B", "|A\\\\B|"}, {"A(B", "|A(B|"},
      {"é", "|é|"},     {"1D0", "|1D0|"}, {"A'B", "|A'B|"},   {"A;B", "|A;B|"},     {"A\"B", "|A\"B|"},
  };
  for (const auto& [name, text] : names) {
    const ref s = ref(&intern(name, test_package()));
    in_test_package here;
    EXPECT_EQ(prin1_to_string(s), text) << name;
    EXPECT_EQ(princ_to_string(s), name);
    EXPECT_EQ(read_from_string(text), s) << text;
  }
  EXPECT_EQ(prin1_to_string(kw("mixed Case")), ":|mixed Case|");
}

TEST(PrinterCompound, ListsPathnamesStructures) {
  EXPECT_EQ(prin1_to_string(read_from_string("(1 (\"a\" . b) nil . 3)")), "(1 (\"a\" . B) NIL . 3)");
  EXPECT_EQ(princ_to_string(read_from_string("(1 (\"a\" . b) nil . 3)")), "(1 (a . B) NIL . 3)");
  EXPECT_EQ(prin1_to_string(read_from_string("'x")), "(QUOTE X)");
  const ref path = make_pathname_obj(parse_namestring("/a/b c/d.lsp"));
  EXPECT_EQ(prin1_to_string(path), "#P\"/a/b c/d.lsp\"");
  EXPECT_EQ(princ_to_string(path), "/a/b c/d.lsp");
  const ref point = make_test_struct("LABELED-POINT", {make_integer(1), make_string("y"), kw("L")});
  EXPECT_EQ(prin1_to_string(point), "#S(RP-TEST::LABELED-POINT :X 1 :Y \"y\" :LABEL :L)");
  EXPECT_EQ(princ_to_string(point), "#S(LABELED-POINT :X 1 :Y y :LABEL L)");
  in_test_package here;
  EXPECT_EQ(prin1_to_string(point), "#S(LABELED-POINT :X 1 :Y \"y\" :LABEL :L)");
}

TEST(PrinterCompound, UnreadableObjects) {
  EXPECT_THAT(prin1_to_string(make_hash_table(hash_test::equal)),
              MatchesRegex("#<HASH-TABLE :TEST EQUAL :COUNT 0 \\{[0-9A-F]+\\}>"));
  EXPECT_EQ(prin1_to_string(make_native_function("CAR", {})), "#<FUNCTION CAR>");
  EXPECT_EQ(prin1_to_string(ref(&common_lisp_package())), "#<PACKAGE \"COMMON-LISP\">");
  EXPECT_THAT(prin1_to_string(make_handle("dsm::entity", nullptr)),
              MatchesRegex("#<dsm::entity \\{[0-9A-F]+\\}>"));
  const ref condition = make_condition("SIMPLE-ERROR", "File \"x\" is missing!");
  EXPECT_EQ(prin1_to_string(condition), R"(#<SIMPLE-ERROR "File \"x\" is missing!">)");
  EXPECT_EQ(princ_to_string(condition), "File \"x\" is missing!");
}

TEST(PrinterStreams, PrintAndPprintFrameTheForm) {
  std::ostringstream out;
  prin1(make_string("a"), out);
  princ(make_string("b"), out);
  print(kw("C"), out);
  pprint(read_from_string("(1 2)"), out);
  EXPECT_EQ(out.str(), "\"a\"b\n:C \n(1 2)");
}

ref deep_boxes() {
  ref v = make_test_struct("POINT",
                           {make_integer(1), read_from_string("(1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0)")});
  for (int i = 0; i < 6; ++i)
    v = make_test_struct(
        "BOX", {v, read_from_string("(1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 \"aaaaaaaaaaaaaa\")")});
  return v;
}

TEST(PrettyPrinter, LayoutsAgreeWithSbcl) {
  in_test_package here;
  const std::pair<ref, const char*> cases[] = {
      {make_test_struct("POINT", {make_integer(1), make_integer(2)}), "#S(POINT :X 1 :Y 2)"},
      {read_from_string("'(a b)"), "'(A B)"},
      {read_from_string("(:loading #P\"/home/user/data/input/some directory/with a very long "
                        "name/assembly_0001.pkg\")"),
       R"x((:LOADING
 #P"/home/user/data/input/some directory/with a very long name/assembly_0001.pkg"))x"},
      {read_from_string("((a . 1) (b . 2) (\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\" . "
                        "\"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\") (c . 3))"),
       R"x(((A . 1) (B . 2)
 ("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
  . "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb")
 (C . 3)))x"},
      {make_test_struct("LABELED-POINT",
                        {make_string("short"),
                         read_from_string("(\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\" . "
                                          "\"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\")"),
                         kw("LBL")}),
       R"x(#S(LABELED-POINT
   :X "short"
   :Y ("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
       . "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb")
   :LABEL :LBL))x"},
      // Text with newlines breaks the blocks around it.
      {list({make_string("abc\ndef"), make_integer(1), make_integer(2),
             make_test_struct("POINT", {make_string("multi\nline"), make_integer(2)})}),
       R"x(("abc
def"
 1 2
 #S(POINT
    :X "multi
line"
    :Y 2)))x"},
      // Far right, lists fill what is left of the line; there is no miser mode.
      {deep_boxes(), R"x(#S(BOX
   :CONTENTS #S(BOX
                :CONTENTS #S(BOX
                             :CONTENTS #S(BOX
                                          :CONTENTS #S(BOX
                                                       :CONTENTS #S(BOX
                                                                    :CONTENTS #S(POINT
                                                                                 :X 1
                                                                                 :Y (1
                                                                                     2
                                                                                     3
                                                                                     4
                                                                                     5
                                                                                     6
                                                                                     7
                                                                                     8
                                                                                     9
                                                                                     0
                                                                                     1
                                                                                     2
                                                                                     3
                                                                                     4
                                                                                     5
                                                                                     6
                                                                                     7
                                                                                     8
                                                                                     9
                                                                                     0))
                                                                    :ITEMS (1 2
                                                                            3 4
                                                                            5 6
                                                                            7 8
                                                                            9 0
                                                                            1 2
                                                                            3 4
                                                                            5 6
                                                                            7 8
                                                                            9 0
                                                                            "aaaaaaaaaaaaaa"))
                                                       :ITEMS (1 2 3 4 5 6 7 8
                                                               9 0 1 2 3 4 5 6
                                                               7 8 9 0
                                                               "aaaaaaaaaaaaaa"))
                                          :ITEMS (1 2 3 4 5 6 7 8 9 0 1 2 3 4 5
                                                  6 7 8 9 0 "aaaaaaaaaaaaaa"))
                             :ITEMS (1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0
                                     "aaaaaaaaaaaaaa"))
                :ITEMS (1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0
                        "aaaaaaaaaaaaaa"))
   :ITEMS (1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 "aaaaaaaaaaaaaa")))x"},
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(pprint_to_string(value), text);
    EXPECT_TRUE(equalp(read_from_string(pprint_to_string(value)), value)) << text;
  }
}

TEST(PrettyPrinter, CallsAlignArgumentsAfterTheFunctionName) {
  symbol& f = intern("PP-FN", test_package());
  defun(f, [](args_t) { return nil(); });
  in_test_package here;
  const ref form = read_from_string(
      "(pp-fn \"aaaaaaaaaaaaaaaaaaaa\" \"bbbbbbbbbbbbbbbbbbbbbbbb\" \"cccccccccccccccccccccc\" "
      "\"ddddddddddddddddddd\" \"eeeeeeeeeeeeeeeeeeeeeeeeeee\")");
  EXPECT_EQ(pprint_to_string(form),
            "(PP-FN \"aaaaaaaaaaaaaaaaaaaa\" \"bbbbbbbbbbbbbbbbbbbbbbbb\"\n"
            "       \"cccccccccccccccccccccc\" \"ddddddddddddddddddd\"\n"
            "       \"eeeeeeeeeeeeeeeeeeeeeeeeeee\")");
}

// Values of every kind the printer must write so that the reader reads them back.
std::vector<ref> round_trip_values() {
  return {
      make_string("quote \" and backslash \\ inside"),
      make_string("Grüße, 日本語, emoji 😀"),
      make_string(""),
      make_integer(std::numeric_limits<std::int64_t>::min()),
      make_integer(std::numeric_limits<std::int64_t>::max()),
      make_double(0.1),
      make_double(1e300),
      make_double(5e-324),
      make_double(-0.0),
      make_double(std::numeric_limits<double>::max()),
      make_double(123456789.123),
      make_character(U'"'),
      make_character(U' '),
      make_character(U'日'),
      kw("KEY"),
      sym("EXPORTED"),
      sym("lower case"),
      sym("12"),
      ref(&cl_symbol("CAR")),
      read_from_string("(1 (2 . 3) \"x\" . 4)"),
      read_from_string("((a . b) (c . (d e)) nil)"),
      make_pathname_obj(parse_namestring("/home/user/my data/a file.sdpc")),
      make_pathname_obj(parse_namestring("models/X1.sda")),
      make_test_struct(
          "BOX",
          {make_test_struct("LABELED-POINT", {make_double(1.5), make_integer(-3), make_string("label")}),
           list({make_test_struct("POINT", {}), make_pathname_obj(parse_namestring("/a/b.c")),
                 cons(make_string("name"), make_pathname_obj(parse_namestring("models/s.sda")))})}),
  };
}

TEST(PrinterRoundTrip, EveryKindReadsBackEqual) {
  for (const ref& v : round_trip_values()) {
    for (const std::string& text : {prin1_to_string(v), pprint_to_string(v)}) {
      const ref back = read_from_string(text);
      EXPECT_TRUE(equalp(back, v)) << text;
      EXPECT_EQ(prin1_to_string(back), prin1_to_string(v)) << text;
    }
  }
  const ref zero = read_from_string(prin1_to_string(make_double(-0.0)));
  EXPECT_TRUE(std::signbit(static_cast<dfloat_obj&>(*zero).value));
}

TEST(PrinterRoundTrip, HugeListsPrintWithoutDeepRecursion) {
  std::vector<ref> items;
  for (int i = 0; i < 100000; ++i)
    items.push_back(i % 2 ? make_integer(i) : make_string("s" + std::to_string(i)));
  const ref l = list_from(items);
  const std::string flat = prin1_to_string(l);
  const std::string pretty = pprint_to_string(l);
  EXPECT_NE(pretty.find('\n'), std::string::npos);
  for (const std::string& text : {flat, pretty}) {
    const ref back = read_from_string(text);
    EXPECT_EQ(list_length(back), 100000u);
    EXPECT_TRUE(equal(back, l));
  }
  // Every pretty line fits the margin.
  std::istringstream lines(pretty);
  for (std::string line; std::getline(lines, line);) ASSERT_LE(line.size(), 80u) << line;
}

std::string eval_to_text(std::string_view source) { return princ_to_string(eval_string(source)); }

TEST(ReaderPrinterBuiltins, PrintToStreamsAndStrings) {
  EXPECT_EQ(eval_to_text("(prin1-to-string \"a\")"), "\"a\"");
  EXPECT_EQ(eval_to_text("(princ-to-string :k)"), "K");
  EXPECT_EQ(eval_to_text("(write-to-string '(1 \"x\"))"), "(1 \"x\")");
  EXPECT_EQ(eval_to_text("(write-to-string '(1 \"x\") :escape nil)"), "(1 x)");
  EXPECT_EQ(eval_to_text("(write-to-string '(quote x) :pretty t)"), "'X");
  EXPECT_EQ(eval_to_text("(let ((s (make-string-output-stream)))"
                         "  (prin1 \"a\" s) (princ \"b\" s) (print 1 s) (pprint '(x) s) (terpri s)"
                         "  (write-string \"ws\" s) (write-line \"wl\" s) (get-output-stream-string s))"),
            "\"a\"b\n1 \n(X)\nwswl\n");
  EXPECT_EQ(prin1_to_string(eval_string(
                "(list (prin1 :v (make-string-output-stream)) (pprint 1 (make-string-output-stream)))")),
            "(:V NIL)");
}

TEST(ReaderPrinterBuiltins, ReadFromStringsAndStreams) {
  EXPECT_EQ(prin1_to_string(eval_string("(read-from-string \"(a . b) ignored\")")), "(A . B)");
  EXPECT_EQ(prin1_to_string(eval_string("(read-from-string \"  \" nil :none)")), ":NONE");
  EXPECT_EQ(prin1_to_string(eval_string("(ignore-errors (read-from-string \"\"))")), "NIL");
  const std::string file = (std::filesystem::temp_directory_path() / "rp_read_builtin.lsp").string();
  std::ofstream(file) << "(first form) #S(RP-TEST::POINT :X 1 :Y 2)\n(:loading";
  test_package();
  EXPECT_EQ(prin1_to_string(eval_string("(let ((in (open \"" + file +
                                        "\"))) (list (read in) (rp-test::point-y (read in))))")),
            "((FIRST FORM) 2)");
  try {
    eval_string("(let ((in (open \"" + file + "\"))) (read in) (read in) (read in))");
    ADD_FAILURE() << "the cut-off form was read";
  } catch (const lisp_error& e) {
    EXPECT_EQ(e.kind(), "READER-ERROR");
    EXPECT_THAT(e.message(), ::testing::HasSubstr(file));
  }
  std::ofstream(file) << "last ; comment";
  EXPECT_EQ(prin1_to_string(
                eval_string("(let ((in (open \"" + file + "\"))) (list (read in) (read in nil :eof)))")),
            "(LAST :EOF)");
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace host::lisp
