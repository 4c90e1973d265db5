// Conformance of the reader and the printer with SBCL: what we print SBCL
// reads and prints back to the same values and, pretty printed, to the same
// layout; what SBCL prints we read; doubles print digit for digit alike.
// Skipped when sbcl is not on PATH.

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/lisp/object.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "lisp/printer_test_types.h"

namespace host::lisp {
namespace {

namespace fs = std::filesystem;
using testing::make_test_struct;
using testing::test_package;

// The test types of printer_test_types.h, for SBCL.
constexpr const char* sbcl_preamble = R"(
(defpackage "RP-TEST" (:nicknames "RPT") (:use "COMMON-LISP") (:export "EXPORTED"))
(in-package "RP-TEST")
(defstruct point x y)
(defstruct (labeled-point (:include point)) label)
(defstruct box contents items)
(in-package "COMMON-LISP-USER")
(setf *print-pretty* nil)
(defun hex-line (text out)
  (loop for o across (sb-ext:string-to-octets text :external-format :utf-8) do (format out "~2,'0X" o))
  (terpri out))
)";

class sbcl_run {
 public:
  sbcl_run() : dir_(fs::temp_directory_path() / ("rp_sbcl_" + std::to_string(getpid()))) {
    fs::create_directories(dir_);
  }
  ~sbcl_run() { fs::remove_all(dir_); }
  fs::path file(const std::string& name) const { return dir_ / name; }

  // Runs the script after the preamble; true when sbcl exited normally.
  bool run(const std::string& script) {
    const fs::path path = file("script.lisp");
    std::ofstream(path) << sbcl_preamble << script;
    FILE* p = popen(("sbcl --script '" + path.string() + "' 2>&1").c_str(), "r");
    if (!p) return false;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) output_.append(buf, n);
    return pclose(p) == 0;
  }
  const std::string& output() const { return output_; }

 private:
  fs::path dir_;
  std::string output_;
};

bool have_sbcl() { return std::system("command -v sbcl >/dev/null 2>&1") == 0; }

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<ref> read_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  reader r(in, file.string());
  std::vector<ref> forms;
  for (ref form; r.read(form);) forms.push_back(form);
  return forms;
}

std::vector<std::string> hex_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < line.size(); i += 2)
      bytes += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    lines.push_back(bytes);
  }
  return lines;
}

ref path(std::string_view text) { return make_pathname_obj(parse_namestring(text)); }
ref kw(std::string_view name) { return ref(&keyword(name)); }
ref sym(std::string_view name) { return ref(&intern(name, test_package())); }

// Record-like values: wide enough to make the pretty printer break lines.
std::vector<ref> values_for_sbcl() {
  test_package();
  std::vector<ref> shares;
  for (int i = 0; i < 12; ++i)
    shares.push_back(make_string("/assembly/sub assembly " + std::to_string(i) + "/part"));
  std::vector<ref> numbers;
  for (int i = 0; i < 60; ++i) numbers.push_back(make_integer(i * 7919));
  return {
      make_string("quote \" and backslash \\ inside"),
      make_string("Grüße, 日本語, 😀"),
      make_integer(std::numeric_limits<std::int64_t>::min()),
      make_integer(std::numeric_limits<std::int64_t>::max()),
      make_double(0.1),
      make_double(1e300),
      make_double(5e-324),
      make_double(-0.0),
      make_double(3.912345678e9),
      list({make_character(U'a'), make_character(U'"'), make_character(U'\n'), make_character(U'('),
            make_character(U'\\')}),
      list({kw("KEY"), sym("EXPORTED"), sym("POINT"), sym("lower case"), sym("12"), sym("A|B"), kw("a:b")}),
      read_from_string("(1 (2 . 3) \"x\" (nil) . 4)"),
      path("/home/user/my data/input/a file.pkg"),
      list({kw("LOADING"),
            path("/home/user/data/input/some directory/with a very long name/assembly_0001.pkg")}),
      make_test_struct("BOX", {make_test_struct("LABELED-POINT",
                                                {make_double(1.5), make_integer(-3), make_string("label")}),
                               list({make_test_struct("POINT", {}), path("/a/b.c"),
                                     cons(make_string("name"), path("models/s.sda"))})}),
      make_test_struct("BOX",
                       {list_from(shares), make_test_struct("BOX", {list_from(numbers), kw("COMPLETE")})}),
      list_from(std::vector<ref>(
          8, make_test_struct("LABELED-POINT", {make_string("a rather long string value"),
                                                path("/x/y/z.sdpc"), kw("INSEPARABLE-CHILD")}))),
  };
}

TEST(SbclRoundTrip, WhatWePrintSbclReadsAndPrintsBackAlike) {
  if (!have_sbcl()) GTEST_SKIP() << "sbcl is not on PATH";
  sbcl_run sbcl;
  const std::vector<ref> values = values_for_sbcl();
  {
    std::ofstream out(sbcl.file("ours.lsp"), std::ios::binary);
    for (const ref& v : values) {
      prin1(v, out);
      pprint(v, out);
      out << '\n';
    }
  }
  ASSERT_TRUE(
      sbcl.run("(with-open-file (in \"" + sbcl.file("ours.lsp").string() +
               "\" :external-format :utf-8)\n"
               "  (with-open-file (out \"" +
               sbcl.file("back.lsp").string() +
               "\" :direction :output :external-format :utf-8)\n"
               "    (with-open-file (layout \"" +
               sbcl.file("layout.txt").string() +
               "\" :direction :output)\n"
               "      (loop for x = (read in nil in) until (eq x in)\n"
               "            do (prin1 x out) (terpri out)\n"
               "               (hex-line (let ((*print-pretty* t)) (prin1-to-string x)) layout)))))\n"))
      << sbcl.output();
  const std::vector<ref> back = read_file(sbcl.file("back.lsp"));
  const std::vector<std::string> layouts = hex_lines(slurp(sbcl.file("layout.txt")));
  ASSERT_EQ(back.size(), 2 * values.size());
  ASSERT_EQ(layouts.size(), 2 * values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string ours = prin1_to_string(values[i]);
    for (std::size_t j : {2 * i, 2 * i + 1}) {
      EXPECT_TRUE(equalp(back[j], values[i])) << ours;
      EXPECT_EQ(prin1_to_string(back[j]), ours);
    }
    EXPECT_EQ(pprint_to_string(values[i]), layouts[2 * i]) << ours;
  }
}

TEST(SbclRoundTrip, WhatSbclPrintsWeRead) {
  if (!have_sbcl()) GTEST_SKIP() << "sbcl is not on PATH";
  sbcl_run sbcl;
  ASSERT_TRUE(sbcl.run(
      "(with-open-file (out \"" + sbcl.file("sbcl.lsp").string() +
      "\" :direction :output :external-format :utf-8)\n"
      "  (dolist (x (list \"a\\\"b\\\\c\" \"Grüße 日本\" 1.5d0 0.1d0 -0.0d0 1d300 "
      "most-positive-double-float\n"
      "                   least-positive-double-float (expt 2 62) (- (expt 2 63))\n"
      "                   '(#\\a #\\Space #\\Newline) '(a . (b . c)) :key 'rp-test:exported '|mixed Case|\n"
      "                   (quote (quote x)) #p\"/home/user/in dir/x.sdp\"\n"
      "                   (rp-test::make-box :contents (rp-test::make-labeled-point :x 1 :y \"two\" :label "
      ":three)\n"
      "                                     :items (list #p\"models/a.sda\" (cons \"n\" 2.5d0)))))\n"
      "    (prin1 x out) (terpri out) (let ((*print-pretty* t)) (pprint x out)) (terpri out)))\n"))
      << sbcl.output();
  const std::vector<ref> expected = {
      make_string("a\"b\\c"),
      make_string("Grüße 日本"),
      make_double(1.5),
      make_double(0.1),
      make_double(-0.0),
      make_double(1e300),
      make_double(std::numeric_limits<double>::max()),
      make_double(std::numeric_limits<double>::denorm_min()),
      make_integer(std::int64_t{1} << 62),
      make_integer(std::numeric_limits<std::int64_t>::min()),
      list({make_character(U'a'), make_character(U' '), make_character(U'\n')}),
      cons(ref(&intern("A", user_package())),
           cons(ref(&intern("B", user_package())), ref(&intern("C", user_package())))),
      kw("KEY"),
      sym("EXPORTED"),
      ref(&intern("mixed Case", user_package())),
      read_from_string("(quote x)"),
      path("/home/user/in dir/x.sdp"),
      make_test_struct("BOX",
                       {make_test_struct("LABELED-POINT", {make_integer(1), make_string("two"), kw("THREE")}),
                        list({path("models/a.sda"), cons(make_string("n"), make_double(2.5))})}),
  };
  const std::vector<ref> forms = read_file(sbcl.file("sbcl.lsp"));
  ASSERT_EQ(forms.size(), 2 * expected.size()) << slurp(sbcl.file("sbcl.lsp"));
  for (std::size_t i = 0; i < forms.size(); ++i) {
    EXPECT_TRUE(equalp(forms[i], expected[i / 2])) << prin1_to_string(forms[i]);
    EXPECT_EQ(prin1_to_string(forms[i]), prin1_to_string(expected[i / 2]));
  }
}

TEST(SbclRoundTrip, DoublesPrintDigitForDigitAsInSbcl) {
  if (!have_sbcl()) GTEST_SKIP() << "sbcl is not on PATH";
  std::vector<double> table = {0.0,
                               -0.0,
                               1.0,
                               1.5,
                               0.1,
                               0.3,
                               1e7,
                               9999999.999999,
                               1e-3,
                               9.99e-4,
                               1e23,
                               5e-324,
                               std::numeric_limits<double>::min(),
                               std::numeric_limits<double>::max(),
                               1.0 / 3};
  std::mt19937_64 random(20240601);
  for (int i = 0; i < 3000; ++i) {
    const std::uint64_t bits = random();
    const double v = std::bit_cast<double>(bits);
    if (std::isfinite(v)) table.push_back(v);
  }
  // Values of everyday magnitudes and subnormals, which the bit patterns above rarely hit.
  std::uniform_real_distribution<double> everyday(-1e8, 1e8);
  for (int i = 0; i < 1000; ++i) table.push_back(everyday(random));
  for (int i = 0; i < 500; ++i) table.push_back(std::bit_cast<double>(random() >> (12 + i % 52)));
  std::string bits_list;
  for (double v : table)
    bits_list += std::to_string(static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(v))) + " ";
  sbcl_run sbcl;
  ASSERT_TRUE(sbcl.run("(dolist (b '(" + bits_list +
                       "))\n"
                       "  (prin1 (sb-kernel:make-double-float (ash b -32) (ldb (byte 32 0) b))) (terpri))\n"))
      << sbcl.output().substr(0, 2000);
  std::istringstream lines(sbcl.output());
  std::size_t i = 0;
  for (std::string line; std::getline(lines, line); ++i) {
    ASSERT_LT(i, table.size());
    EXPECT_EQ(format_double(table[i]), line);
    const ref back = read_from_string(line);
    ASSERT_TRUE(is(back, tag::dfloat)) << line;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(static_cast<dfloat_obj&>(*back).value),
              std::bit_cast<std::uint64_t>(table[i]))
        << line;
  }
  EXPECT_EQ(i, table.size());
}

}  // namespace
}  // namespace host::lisp
