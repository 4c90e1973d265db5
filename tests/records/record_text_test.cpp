// The fast path of reading records must decode exactly what the host's
// reader and from_lisp make of the same text, and give up on what it does
// not know.
#include "records/record_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "records/ami_drawing_records.h"
#include "records/cad_file_records.h"
#include "records/component_records.h"
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

}  // namespace
