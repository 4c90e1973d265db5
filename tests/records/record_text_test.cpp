// The fast paths of records must agree with the host: reading must decode
// exactly what the host's reader and from_lisp make of the same text, and
// printing must write what the host's pretty printer writes; both give up
// on what they do not know.
#include "records/record_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "records/ami_drawing_records.h"
#include "records/cad_file_records.h"
#include "records/component_records.h"
#include "records/record_print.h"
#include "records_env.h"
#include "sample_records.h"

namespace {

using namespace vtm::records;
using vtm::core::from_lisp;
using vtm::core::to_lisp;

class RecordText : public records_test::records_fixture {};

template <class R>
std::optional<R> fast(const std::string& text) {
  record_text t(text, 0);
  std::optional<R> r = decode_record<R>(t);
  if (r && t.pos() != text.size()) ADD_FAILURE() << "stopped at " << t.pos() << " of " << text;
  return r;
}

template <class R>
void expect_both_ways(const R& record) {
  const std::string text = host::lisp::pprint_to_string(to_lisp(record));
  SCOPED_TRACE(text);
  const R slow = from_lisp<R>(host::lisp::read_from_string(text));
  const std::optional<R> quick = fast<R>(text);
  ASSERT_TRUE(quick.has_value()) << "the printer's form takes the fast path";
  EXPECT_EQ(*quick, slow);
  EXPECT_EQ(*quick, record);
}

TEST_F(RecordText, ThePrintedFormOfEveryRecordKindDecodesAsTheReaderReadsIt) {
  const records_test::sample s = records_test::make_sample();
  expect_both_ways(s.file);
  expect_both_ways(s.failed);
  expect_both_ways(s.instance);
  expect_both_ways(s.contents);
  expect_both_ways(s.drawing);
  expect_both_ways(s.contents_change);
  expect_both_ways(s.instance_change);
  expect_both_ways(contents_info{});
}

TEST_F(RecordText, RandomTextsAndNumbersDecodeAsTheReaderReadsThem) {
  std::mt19937_64 random(20261208);
  const std::string alphabet = "aZ09 \"\\\n\t()#|;:.'`,/Äö߀";
  const auto text = [&] {
    std::string out;
    for (std::size_t n = random() % 12; n > 0; --n) {
      // Whole UTF-8 characters of the alphabet, whatever their length.
      std::size_t i = random() % alphabet.size();
      while (i > 0 && (static_cast<unsigned char>(alphabet[i]) & 0xC0) == 0x80) --i;
      std::size_t len = 1;
      while (i + len < alphabet.size() && (static_cast<unsigned char>(alphabet[i + len]) & 0xC0) == 0x80)
        ++len;
      out += alphabet.substr(i, len);
    }
    return out;
  };
  for (int round = 0; round < 300; ++round) {
    contents_info c;
    c.sysid = text();
    c.typename_ = text();
    c.filename = "models/" + text();
    c.child_sysids = {text(), text()};
    double bits;
    do {
      const std::uint64_t raw = random();
      std::memcpy(&bits, &raw, sizeof bits);
    } while (!std::isfinite(bits));
    c.metakey = cluster_metakey{text(), round % 3 ? bits : static_cast<double>(round), std::nullopt, text()};
    c.shares = {text(), text()};
    c.model_sysids = {text()};
    c.db_gref.value = host::lisp::list({host::lisp::make_string(text()), host::lisp::make_integer(round)});
    const std::string printed = host::lisp::pprint_to_string(to_lisp(c));
    SCOPED_TRACE(printed);
    const contents_info slow = from_lisp<contents_info>(host::lisp::read_from_string(printed));
    const std::optional<contents_info> quick = fast<contents_info>(printed);
    if (quick) {
      EXPECT_EQ(*quick, slow);
    } else {
      EXPECT_NE(slow.filename.string().find("//"), std::string::npos) << "gave up without cause";
    }
  }
}

TEST_F(RecordText, WhatTheFastPathDoesNotKnowIsLeftToTheReader) {
  const std::string good = host::lisp::pprint_to_string(to_lisp(records_test::make_sample().drawing));
  const auto variant = [&](std::string_view from, std::string_view to) {
    std::string s = good;
    const std::size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return s.replace(at, from.size(), to);
  };
  const std::vector<std::string> unknown{
      variant(":NAME", ":name"),                                  // the reader upcases
      variant(":NAME \"7\"", ""),                                 // a slot left out
      variant(":FILENAME #P", "; a comment\n:FILENAME #P"),       // a comment
      variant("#S(VANTREL-MIGRATOR:", "#S("),                     // no package
      variant("INSTANCE-SYSIDS (", "INSTANCE-SYSIDS #+nil 1 ("),  // reader syntax
      variant("#P\"", "#P\"//"),                                  // a path the pathname parser changes
  };
  for (const std::string& text : unknown) EXPECT_FALSE(fast<ami_drawing_info>(text).has_value()) << text;

  // The manager still reads what the reader reads.
  std::string other = unknown[2];
  other.replace(other.find("#P\"7@"), 5, "#P\"8@");
  records_test::spit(dir / "ami-drawings.lsp", "\n" + unknown[0] + "\n" + other);
  auto drawings = make_ami_drawing_records(dir);
  ASSERT_EQ(drawings.drawings().size(), 2u);
  ami_drawing_info expected = records_test::make_sample().drawing;
  EXPECT_EQ(drawings.drawings().begin()->second, expected);
  expected.filename = "8@Getriebe ä.ami";
  EXPECT_EQ(drawings.drawings().rbegin()->second, expected);
}

TEST_F(RecordText, StateEntriesAndRecordsOfTheTocTakeTheFastPathAlike) {
  const auto file = dir / "in put" / "ä.sd";
  std::filesystem::create_directories(file.parent_path());
  records_test::spit(file, "x");
  // The same history twice: as the printer writes it, and in a layout of
  // another Lisp, with lower-case markers the fast path leaves alone.
  cad_fileinfo complete = make_cad_fileinfo(file);
  complete.state = cad_file_state::complete;
  const std::string record = host::lisp::pprint_to_string(to_lisp(complete));
  const std::string ours = "\n(:LOADING #P\"" + file.string() + "\")\n(:PROCESSING #P\"" + file.string() +
                           "\")\n" + record + "\n(:LOADING #P\"" + file.string() + "\")";
  std::string theirs = ours;
  for (std::size_t at = 0; (at = theirs.find("#P", at)) != std::string::npos;) theirs[at + 1] = 'p';
  for (const std::string& text : {ours, theirs}) {
    records_test::spit(dir / "toc.lsp", text);
    auto toc = make_cad_file_records(dir);
    ASSERT_EQ(toc.filetable().size(), 1u);
    const cad_fileinfo& info = toc.filetable().begin()->second;
    EXPECT_EQ(info.state, cad_file_state::loading);
    EXPECT_EQ(info.write_date, complete.write_date);
    EXPECT_EQ(info.path, file);
  }
}

// --- Printing records straight from C++ --------------------------------------

// Whatever the fast path prints is what the host prints; required_fast: it
// must not give up on the record.
template <class R>
void expect_printed_as_the_host_prints(const R& record, bool required_fast = true) {
  const std::string host_text = "\n" + host::lisp::pprint_to_string(to_lisp(record));
  std::string text;
  const bool printed = print_record(record, text);
  if (required_fast) {
    EXPECT_TRUE(printed) << host_text;
  }
  if (printed) {
    EXPECT_EQ(text, host_text);
  }
}

TEST_F(RecordText, RecordsPrintStraightFromTheirFieldsAsTheHostPrintsThem) {
  const records_test::sample s = records_test::make_sample();
  expect_printed_as_the_host_prints(s.file);
  expect_printed_as_the_host_prints(s.failed);
  expect_printed_as_the_host_prints(s.instance);
  expect_printed_as_the_host_prints(s.contents);
  expect_printed_as_the_host_prints(s.drawing);
  expect_printed_as_the_host_prints(s.contents_change);
  expect_printed_as_the_host_prints(s.instance_change);
  expect_printed_as_the_host_prints(contents_info{});

  // Texts of every length around the line width, so that lines break at
  // every place a record allows.
  std::mt19937_64 random(20261209);
  const std::vector<std::string> pieces{"a", "Z", "0", " ", "\"", "\\", "(",
                                        "#", "|", ";", "Ä", "€",  "/",  "."};
  const auto text = [&](std::size_t longest) {
    std::string out;
    for (std::size_t n = random() % (longest + 1); n > 0; --n) out += pieces[random() % pieces.size()];
    return out;
  };
  const auto number = [&] {
    double v;
    do {
      const std::uint64_t raw = random();
      std::memcpy(&v, &raw, sizeof v);
    } while (!std::isnormal(v));
    return random() % 2 ? v : 3.9e9 + static_cast<double>(random() % 100000) / 64;
  };
  for (int round = 0; round < 1500; ++round) {
    SCOPED_TRACE(round);
    contents_info c;
    c.sysid = text(30);
    c.typename_ = round % 4 ? std::optional<std::string>(text(12)) : std::nullopt;
    c.filename = text(1) + "x/" + text(30);
    for (std::size_t n = random() % 6; n > 0; --n) c.child_sysids.push_front(text(25));
    if (round % 5 == 0) c.tags = {{"INSEPARABLE-MASTER"}, {"INSEPARABLE-CHILD"}};
    if (round % 3) c.metakey = cluster_metakey{text(40), number(), std::nullopt, text(5)};
    for (std::size_t n = random() % 5; n > 0; --n) c.shares.push_front(text(70));
    for (std::size_t n = random() % 4; n > 0; --n) c.model_sysids.push_front(text(20));
    c.check_result.value = host::lisp::list(
        {host::lisp::make_string(text(20)),
         host::lisp::list({host::lisp::make_integer(round), host::lisp::make_double(number())}),
         host::lisp::cons(host::lisp::make_string(text(10)), host::lisp::make_integer(-round))});
    if (round % 2) c.db_gref.value = host::lisp::read_from_string("(:PART-NO \"4711\" :REV 2)");
    expect_printed_as_the_host_prints(c, false);

    instance_info i;
    i.sysid = text(20);
    i.filename = text(20);
    i.sourcepath = text(60);
    i.name = text(90);
    i.contents_sysid = round % 2 ? sysid_value(text(20)) : sysid_value();
    expect_printed_as_the_host_prints(i, false);

    cad_fileinfo f;
    f.path = "/" + text(50);
    for (std::size_t n = random() % 4; n > 0; --n) f.models_3d.emplace_back(text(30), "models/" + text(20));
    f.state = cad_file_state::complete;
    f.write_date = static_cast<std::int64_t>(random() >> 2);
    f.error_status.value = host::lisp::make_string(text(50));
    expect_printed_as_the_host_prints(f, false);

    // The entries of toc.lsp beside its records: (:STATE path) and
    // (:STAGED-AS path ((loaded . staged) ...)).
    namespace hl = host::lisp;
    const record_path path = "/" + text(90);
    std::vector<std::pair<std::string, std::string>> staged;
    std::vector<hl::ref> pairs;
    for (std::size_t n = random() % 4; n > 0; --n) {
      staged.emplace_back(text(20), text(20));
      pairs.push_back(hl::cons(hl::make_string(staged.back().first), hl::make_string(staged.back().second)));
    }
    const auto expect_list_printed = [&](const auto& entry, const hl::ref& form) {
      std::string out;
      if (print_record(entry, out)) {
        EXPECT_EQ(out, "\n" + hl::pprint_to_string(form));
      }
    };
    expect_list_printed(std::tuple(cad_file_state::processing, path),
                        hl::list({vtm::core::lisp_value<cad_file_state>::to(cad_file_state::processing),
                                  vtm::core::lisp_value<record_path>::to(path)}));
    expect_list_printed(std::tuple(vtm::core::keyword_name{"STAGED-AS"}, path, staged),
                        hl::list({hl::ref(&hl::keyword("STAGED-AS")),
                                  vtm::core::lisp_value<record_path>::to(path), hl::list_from(pairs)}));
  }
  std::string out;
  EXPECT_TRUE(print_record(std::tuple(cad_file_state::loading, record_path("/in/a.pkg")), out));
  EXPECT_EQ(out, "\n(:LOADING #P\"/in/a.pkg\")");
}

// Doubles print with the host's digits: everywhere across the exponents, and
// densely where two shortest forms can be equally near (large integers and
// halves), where the host's choice of the upper one matters.
TEST_F(RecordText, DoublesPrintAsTheHostPrintsThem) {
  std::mt19937_64 random(4711);
  const auto printed = [](double v) {
    pretty_layout l;
    l.clear();
    std::string out;
    if (print_double(l, v)) l.finish(out);
    return out;
  };
  int wrong = 0;
  const auto expect_host_digits = [&](double v) {
    const std::string host = host::lisp::format_double(v);
    if (printed(v) != host && ++wrong <= 5)
      ADD_FAILURE() << printed(v) << " for " << host << std::hexfloat << " " << v;
  };
  for (int i = 0; i < 3000; ++i) {
    double v;
    const std::uint64_t raw = random();
    std::memcpy(&v, &raw, sizeof v);
    if (std::isfinite(v)) expect_host_digits(v);
    // Significands at every exponent from 2^30 to 2^70.
    expect_host_digits(std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 41) - 23));
    // Short decimals and their neighbours.
    const double d =
        static_cast<double>(random() % 100000000) / std::pow(10.0, static_cast<double>(random() % 12));
    expect_host_digits(d);
    expect_host_digits(std::nextafter(d, 0.0));
    expect_host_digits(-std::nextafter(d, 1e300));
  }
  for (double v : {0.0, -0.0, 1e-3, 1e7, 9999999.999999998, 5e-324, 2.2250738585072014e-308,
                   1.7976931348623157e308, 13249966000004.8125, 0.5, 2.5})
    expect_host_digits(v);
  EXPECT_EQ(wrong, 0);
}

TEST_F(RecordText, WhatThePrinterWritesSpeciallyIsLeftToIt) {
  std::string out;
  contents_info c;
  c.sysid = "C1";
  c.shares = {std::string("line\nbreak")};  // a literal newline
  EXPECT_FALSE(print_record(c, out));
  c.shares = {};
  c.tags = {{"lower"}};  // a keyword in bars
  EXPECT_FALSE(print_record(c, out));
  c.tags = {};
  c.filename = "a//b";  // a path the pathname parser changes
  EXPECT_FALSE(print_record(c, out));
  c.filename = "C1.sdpc";
  c.check_result.value = host::lisp::read_from_string("(CAR 1)");  // a symbol of another package
  EXPECT_FALSE(print_record(c, out));
  c.check_result.value = host::lisp::read_from_string("#\\a");
  EXPECT_FALSE(print_record(c, out));
  EXPECT_TRUE(out.empty());
  c.check_result = {};
  c.sysid = sysid_value::of_entity(host::lisp::make_string("a handle"));  // in session
  EXPECT_FALSE(print_record(c, out));
}

}  // namespace
