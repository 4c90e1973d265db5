// Conformance of `format` with SBCL. Every row is a control string and its
// arguments as Lisp source text. When sbcl is on PATH the whole table runs
// through one `sbcl --script` and our output must equal SBCL's; without it
// the checked-in outputs (made with SBCL) stand in. A mismatch prints SBCL's
// output as a C++ literal, ready to be pasted into the table.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "host/lisp/errors.h"
#include "host/lisp/format.h"
#include "host/lisp/object.h"
#include "host/lisp/reader.h"

namespace host::lisp {
namespace {

struct row {
  const char* control;
  const char* args;  // Lisp source of the arguments, not evaluated
  const char* expected;
};

const row table[] = {
    // ~A and ~S with their column parameters
    {"~A", "42", "42"},
    {"~A|~S", "\"str\" \"str\"", "str|\"str\""},
    {"~S", "\"a\\\"b\\\\c\"", "\"a\\\"b\\\\c\""},
    {"~A ~S ~a ~s", ":key :key foo foo", "KEY :KEY FOO FOO"},
    {"~A", "(1 \"two\" (3 . 4) nil)", "(1 two (3 . 4) NIL)"},
    {"~S", "(1 \"two\" (3 . 4) nil)", "(1 \"two\" (3 . 4) NIL)"},
    {"~A ~S", "1.5d0 1.5d0", "1.5d0 1.5d0"},
    {"~:A ~:S ~A ~S", "nil nil nil nil", "() () NIL NIL"},
    {"~10A|", "\"abc\"", "abc       |"},
    {"~10@A|", "\"abc\"", "       abc|"},
    {"~10,,,'-A|", "\"abc\"", "abc-------|"},
    {"~10,,,'-@A|", "\"abc\"", "-------abc|"},
    {"~5,3,2,'*A|", "\"ab\"", "ab*****|"},
    {"~,,3A|", "\"ab\"", "ab   |"},
    {"~3,,-1A|", "\"x\"", "x  |"},
    {"~2A|", "\"toolong\"", "toolong|"},
    {"~8@S|", "\"ab\"", "    \"ab\"|"},
    {"~10:A|~3:@A|", "nil nil", "()        | ()|"},
    {"~vA|~vA|", "4 \"x\" nil \"y\"", "x   |y|"},
    {"~v,vA|", "5 2 \"x\"", "x    |"},
    {"~#A|", "\"x\" 1 2 3 4 5", "x     |"},
    {"~1,2A|~1,2S", "1 2", "1|2"},
    // columns count characters, not bytes
    {"~10A|~10@A|", "\"日本語\" \"Straße\"", "日本語       |    Straße|"},
    {"~6,,,'─A|", "\"äö\"", "äö────|"},
    {"~5,,,'·@A", "\"€\"", "····€"},
    // ~D
    {"~D ~D ~d", "42 -42 0", "42 -42 0"},
    {"~5D|~5,'0D|~5,'0D|", "42 42 -42", "   42|00042|00-42|"},
    {"~:D ~:D ~:D", "1234567 -1234567 123", "1,234,567 -1,234,567 123"},
    {"~@D ~@D ~@D", "42 0 -42", "+42 +0 -42"},
    {"~@:D|~10@:D|", "1234 1234567", "+1,234|+1,234,567|"},
    {"~,,'.,2:D|~,,' ,4:D|", "1234567 123456789", "1.23.45.67|1 2345 6789|"},
    {"~3,'xD|", "12345", "12345|"},
    {"~v,'0D|~vD|", "3 1 nil 7", "001|7|"},
    {"~8D|~8D|~8,'*D|~D", "1.5d0 abc \"abc\" (1 2)", "1.5d0|ABC|abc|(1 2)"},
    // ~X
    {"~X ~X ~x ~X", "255 -255 3054 0", "FF -FF BEE 0"},
    {"~8,'0X|~:X|~:@X", "255 1234567 1234567", "000000FF|12D,687|+12D,687"},
    {"~5,' ,'_,4:X|", "123456789", "75B_CD15|"},
    {"~10,'0:@X|", "255", "0000000+FF|"},
    {"~A-~X.~X", "\"part1\" 3913056000 7", "part1-E93C7F00.7"},
    // ~% ~& ~~ and ~newline
    {"a~%b~2%c~0%d", "", "a\nb\n\ncd"},
    {"~&a~&~&b~2&c~%", "", "a\nb\n\nc\n"},
    {"~%~&x~0&y", "", "\nxy"},
    {"~A~#%", "1 2 3", "1\n\n"},
    {"~v%|~v~", "2 3", "\n\n|~~~"},
    {"~~ ~3~ a~~b", "", "~ ~~~ a~b"},
    {"a~\n   b", "", "ab"},
    {"a~:\n \tb", "", "a \tb"},
    {"a~@\n   b", "", "a\nb"},
    {"~A~\n  \t ~A", "1 2", "12"},
    // ~*
    {"~A ~*~A", "1 2 3", "1 3"},
    {"~2*~A", "1 2 3", "3"},
    {"~A ~:*~A", "1", "1 1"},
    {"~A ~2@*~A ~:*~A", "1 2 3", "1 3 3"},
    {"~A~A~@*~A~:*~A", "1 2", "1211"},
    {"~#*~:*~A", "1 2", "2"},
    // ~[
    {"~[zero~;one~;two~]|~[zero~;one~;two~]|~[zero~;one~;two~]", "0 1 2", "zero|one|two"},
    {"~[a~;b~]|~[a~;b~]|", "5 -1", "||"},
    {"~[a~;b~:;default~]|~[a~;b~:;default~]|~[a~;b~:;default~]", "1 7 -1", "b|default|default"},
    {"~[~;b~:;c~;d~]|~[~;b~:;c~;d~]|~[~;b~:;c~;d~]", "2 3 9", "c|d|"},
    {"~:[false~;true~] ~:[false~;true~] ~:[false~;true~]", "nil t 0", "false true true"},
    {"~@[x=~A~]|~@[y=~A~]|", "nil 3", "|y=3|"},
    {"~2[a~;b~;c~]~A", "0", "c0"},
    {"~v[a~;b~;c~]", "nil 1", "b"},
    {"~#[none~;one~;two~:;many~]", "", "none"},
    {"~#[none~;one~;two~:;many~]", "1", "one"},
    {"~#[none~;one~;two~:;many~]", "1 2 3", "many"},
    {"~[a~;~A~;~A and ~A~]", "2 x y", "X and Y"},
    // ~{
    {"~{~A~^, ~}", "(1 2 3)", "1, 2, 3"},
    {"~{~A~^, ~}|", "()", "|"},
    {"~:{~A=~A~:^; ~}", "((a 1) (b 2))", "A=1; B=2"},
    {"~:{~A~^=~A~}", "((a) (b 2))", "AB=2"},
    {"~:{~A~:^,~}", "((1) (2))", "1,2"},
    {"~@{~A~^-~}", "1 2 3", "1-2-3"},
    {"~@{~A~^-~}|", "", "|"},
    {"~:@{~A~:^,~}", "(1) (2) (3)", "1,2,3"},
    {"~:@{<~A ~A>~}", "(a 1) (b 2)", "<A 1><B 2>"},
    {"~1{~A~}|~2:{~A~}", "(1 2) ((1) (2) (3))", "1|12"},
    {"~{x~:}|~{x~}|~0{x~:}|", "() () (1)", "x|||"},
    {"~{~}", "\"<~A>\" (1 2)", "<1><2>"},
    {"~@{~}", "\"~A~A \" 1 2 3 4", "12 34 "},
    {"~{~}", "\"~A~^-\" (1 2)", "1-2"},
    {"~{~{~A~^.~}~^ / ~}", "((1 2) (3) ())", "1.2 / 3 / "},
    {"~{~A:~{~A~^,~}~^; ~}", "(a (1 2) b (3))", "A:1,2; B:3"},
    {"~5@{~A~}|~2@{~A~}|", "1 2", "12||"},
    {"~2@{~A~}|~A", "1 2 3", "12|3"},
    {"~@{~A~}~:*~A", "1 2", "122"},
    {"~{~A~}~:*~A", "(1 2)", "12(1 2)"},
    {"~{~A~*~}", "(1 2 3 4)", "13"},
    {"~{~A~0^~A~}|~{~A~1,1^~A~}|~{~A~1,2,3^~A~}|~{~A~2,1^~A~}", "(1 2 3) (1 2 3) (1 2 3) (1 2)", "1|1|1|12"},
    {"~{~A~#^,~}", "(1 2 3)", "1,2,3"},
    {"~{~#[~;~A~;~A and ~A~:;~@{~A~#[~;, and ~:;, ~]~}~]~}", "(1 2 3)", "1, 2, and 3"},
    {"~{~#[~;~A~;~A and ~A~:;~@{~A~#[~;, and ~:;, ~]~}~]~}", "(1 2)", "1 and 2"},
    {"~{~#[~;~A~;~A and ~A~:;~@{~A~#[~;, and ~:;, ~]~}~]~}", "(1)", "1"},
    {"~v@{~A~:*~}", "5 \"=\"", "====="},
    // ~^ outside iteration
    {"~A~^ and ~A|", "1", "1"},
    {"~A~^ and ~A|", "1 2", "1 and 2|"},
    {"~^abc", "", ""},
    {"~[a~^b~]c", "0", "a"},
    {"~(ABC~^DEF~)", "", "abc"},
    // case conversion
    {"~(Hello WORLD~)", "", "hello world"},
    {"~:(hello wORLD fOO-bar 1abc~)", "", "Hello World Foo-Bar 1abc"},
    {"~@(  ~A ~A~)", "\"xyz\" \"ABC\"", "  Xyz abc"},
    {"~:@(~A~)", "\"mixed Case-1\"", "MIXED CASE-1"},
    {"~(~A ~:@(~A~) x~)", "\"AB\" \"cd\"", "ab cd x"},
    {"~:@(~{~A~^-~}~)", "(\"a\" \"b\" \"c\")", "A-B-C"},
    {"~:(~{~A~^ ~}~)|~@(~[ZERO~;ONE~] ~S~)", "(\"one\" \"TWO\") 1 \"q\"", "One Two|One \"q\""},
    {"~:@(~A~)", "\"élan über straße\"", "ÉLAN ÜBER STRAßE"},
    {"~(~A~)", "\"ÉLAN ÜBER ΑΒΓ\"", "élan über αβγ"},
    {"~:(~A~)", "\"élan über-alles ÄÖ ßx\"", "Élan Über-Alles Äö ßx"},
    {"~@(~A~)", "\"élan über-alles ÄÖ\"", "Élan über-alles äö"},
    {"~:@(~10A~)|", "\"ab\"", "AB        |"},
    // the system's own messages
    {"The module resource file '~A' is missing!", "\"/opt/vtm/vtm_resources.lsp\"",
     "The module resource file '/opt/vtm/vtm_resources.lsp' is missing!"},
    {"Even number of arguments required! Found ~A", "3", "Even number of arguments required! Found 3"},
    {"~A/~A.dia.html", "\"VANTREL-MIGRATOR\" \"VTM_SETTINGS\"", "VANTREL-MIGRATOR/VTM_SETTINGS.dia.html"},
    {"The value of ~:@(~S~), ~:@(~S~), is", ":update :reset", "The value of :UPDATE, :RESET, is"},
    {"### About the '~A' ~A Extension", "\"vt_migrator\" \"Vantrel Migrator\"",
     "### About the 'vt_migrator' Vantrel Migrator Extension"},
    {"### - Version:    ~A", "\"1.1.1\"", "### - Version:    1.1.1"},
    {"### ~~~DA| ~~A", "10", "### ~10A| ~A"},
    {"### ~10A| ~A", "\"Setting\" \"Value\"", "### Setting   | Value"},
    {"### ~10A| ~A", "\"Größe\" :ribbon", "### Größe     | RIBBON"},
    {"### ~v@{~A~:*~}", "17 \"=\"", "### ================="},
    {"Help page '~A' not found", "\"VANTREL-MIGRATOR/X.dia.html\"",
     "Help page 'VANTREL-MIGRATOR/X.dia.html' not found"},
    {"file:///~A~A", "\"/opt/vtm/doc/a.html\" \"#top\"", "file:////opt/vtm/doc/a.html#top"},
    {"File ~A loaded with method ~A~%", "\"/data/in/a b.sd\" :sd",
     "File /data/in/a b.sd loaded with method SD\n"},
    {"3d: ~A -> ~A~%", "\"/asm/part\" \"/stage/models/\"", "3d: /asm/part -> /stage/models/\n"},
    {"db-model ~A local-model ~A~%", "nil nil", "db-model NIL local-model NIL\n"},
    {"LOAD '~A' '(modelmanager::cr-compare-models-callback)' 'false' '~A' 'LOAD_AS_VERSION' "
     "'DO_NOT_APPLY_LOAD_AND_POSITION'",
     "123 :version",
     "LOAD '123' '(modelmanager::cr-compare-models-callback)' 'false' 'VERSION' 'LOAD_AS_VERSION' "
     "'DO_NOT_APPLY_LOAD_AND_POSITION'"},
    {"RELOAD '~A' '~A' 'false' 'false' '~A'", "\"/asm/p\" 99 :contents",
     "RELOAD '/asm/p' '99' 'false' 'false' 'CONTENTS'"},
    {"Elid ~A (~A) in session for model-name ~S~%", "42 \"uid-7\" \"Bracket\"",
     "Elid 42 (uid-7) in session for model-name \"Bracket\"\n"},
    {"~A x~D", "\"Local\" 2", "Local x2"},
    {"~A Staging Report", "(\"batch1\")", "(batch1) Staging Report"},
    {"CAD Files from ~A staged for Model Manager Import", "(\"batch1\")",
     "CAD Files from (batch1) staged for Model Manager Import"},
    {":DB_FINISH_STATUS_UPDATE ~S", "\"/stage/models/a.sda\"",
     ":DB_FINISH_STATUS_UPDATE \"/stage/models/a.sda\""},
    {"VANTREL_MM_ASSISTED_CHECKIN :DB_FINISH_RELOAD ~S", "\"Bracket\"",
     "VANTREL_MM_ASSISTED_CHECKIN :DB_FINISH_RELOAD \"Bracket\""},
    {",~A,\"SUCCESS\"~%", "\"M100,B\"", ",M100,B,\"SUCCESS\"\n"},
    {",,,~S~%", "nil", ",,,NIL\n"},
    {",,,Viewset owner found multiple times in: ~{~A~^;~}~%", "(\"M1\" \"M2\" \"M3\")",
     ",,,Viewset owner found multiple times in: M1;M2;M3\n"},
    {",,,\"~A of ~A viewset owners were not found in any 3d model!\"~%", "2 5",
     ",,,\"2 of 5 viewset owners were not found in any 3d model!\"\n"},
    {"Visibility ~A ~A~%", "compare t", "Visibility COMPARE T\n"},
    {"CURRENT_DRAWING after input ~A (~A)~%", "nil nil", "CURRENT_DRAWING after input NIL (NIL)\n"},
    {"STAGED_DWG after input ~A - ~A ~%", "\"d.mi\" nil", "STAGED_DWG after input d.mi - NIL \n"},
    {"file:///~ADrawingAssociator.pdf", "\"/opt/vtm/\"", "file:////opt/vtm/DrawingAssociator.pdf"},
    {"clear-session~%", "", "clear-session\n"},
};

std::vector<ref> read_args(const row& r) {
  return list_to_vector(read_from_string(std::string("(") + r.args + ")"));
}

std::string ours(const row& r) {
  const std::vector<ref> args = read_args(r);
  try {
    return format(r.control, args_t(args));
  } catch (const lisp_error& e) {
    return "!" + e.message();
  }
}

std::string lisp_string(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string cpp_literal(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else
      out += c;
  }
  return out + "\"";
}

std::string from_hex(std::string_view hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return out;
}

// SBCL's output for every row, hex-encoded UTF-8 one line per row (an error
// line starts with "!"); nullopt when sbcl is not on PATH.
std::optional<std::vector<std::string>> sbcl_outputs() {
  static const std::optional<std::vector<std::string>> outputs =
      []() -> std::optional<std::vector<std::string>> {
    if (std::system("command -v sbcl >/dev/null 2>&1") != 0) return std::nullopt;
    const std::filesystem::path script =
        std::filesystem::temp_directory_path() / ("format_sbcl_" + std::to_string(getpid()) + ".lisp");
    {
      std::ofstream out(script);
      out << "(defun row (control args)\n"
             "  (handler-case\n"
             "      (let ((s (apply #'format nil control args)))\n"
             "        (loop for o across (sb-ext:string-to-octets s :external-format :utf-8)\n"
             "              do (format t \"~2,'0X\" o))\n"
             "        (terpri))\n"
             "    (error (e) (format t \"!~A~%\" (substitute #\\Space #\\Newline (princ-to-string e))))))\n";
      for (const row& r : table) out << "(row " << lisp_string(r.control) << " '(" << r.args << "))\n";
    }
    FILE* p = popen(("sbcl --script '" + script.string() + "'").c_str(), "r");
    std::string text;
    if (p) {
      char buf[4096];
      for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
      pclose(p);
    }
    std::filesystem::remove(script);
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = text.substr(start, end - start);
      lines.push_back(!line.empty() && line[0] == '!' ? line : from_hex(line));
    }
    return lines;
  }();
  return outputs;
}

std::string describe(const row& r) {
  return std::string("(format nil ") + lisp_string(r.control) + " " + r.args + ")";
}

TEST(FormatSbcl, OutputsAgreeWithSbcl) {
  const auto reference = sbcl_outputs();
  if (reference) {
    ASSERT_EQ(reference->size(), std::size(table)) << "sbcl did not answer every row";
  } else {
    std::cout << "sbcl is not on PATH: comparing with the checked-in outputs\n";
  }
  for (std::size_t i = 0; i < std::size(table); ++i) {
    const row& r = table[i];
    const std::string expected = reference ? (*reference)[i] : r.expected;
    EXPECT_EQ(ours(r), expected) << describe(r);
  }
}

TEST(FormatSbcl, CheckedInOutputsAreSbcls) {
  const auto reference = sbcl_outputs();
  if (!reference) GTEST_SKIP() << "sbcl is not on PATH";
  ASSERT_EQ(reference->size(), std::size(table)) << "sbcl did not answer every row";
  for (std::size_t i = 0; i < std::size(table); ++i)
    EXPECT_EQ(table[i].expected, (*reference)[i])
        << describe(table[i]) << "\nSBCL: " << cpp_literal((*reference)[i]);
}

}  // namespace
}  // namespace host::lisp
