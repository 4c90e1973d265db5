#include "records/record_file.h"

#include <gtest/gtest.h>

#include "host/lisp/errors.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "records/file_records.h"
#include "records_env.h"

namespace {

using namespace vtm::records;
using host::lisp::ref;

class RecordFile : public records_test::records_fixture {
 protected:
  std::filesystem::path file() const { return dir / "records.lsp"; }

  // The records of the file as printed text, opening it the way managers do.
  std::vector<std::string> open_and_read(record_file& f) {
    std::vector<std::string> out;
    f.open([&](const ref& r) { out.push_back(host::lisp::prin1_to_string(r)); });
    return out;
  }

  static ref record(int i, const std::string& name = "Drawing ") {
    ami_drawing_info d{name + std::to_string(i), "in dir/ä.mi", std::to_string(i) + "@ä.ami", {"I1", "I2"}};
    return vtm::core::to_lisp(d);
  }
  static std::string text(int i) { return host::lisp::prin1_to_string(record(i)); }
};

TEST_F(RecordFile, AMissingFileIsCreatedEmpty) {
  record_file f(file());
  EXPECT_TRUE(open_and_read(f).empty());
  EXPECT_TRUE(f.is_open());
  EXPECT_TRUE(std::filesystem::exists(file()));
  EXPECT_EQ(std::filesystem::file_size(file()), 0u);
}

TEST_F(RecordFile, EachRecordIsANewlineAndThePrettyPrintedFormFlushedAtOnce) {
  record_file f(file());
  open_and_read(f);
  f.append(record(1));
  EXPECT_EQ(records_test::slurp(file()), "\n" + host::lisp::pprint_to_string(record(1)));
  f.append(host::lisp::read_from_string("(:loading #P\"/in/x y.sd\")"));
  EXPECT_EQ(records_test::slurp(file()),
            "\n" + host::lisp::pprint_to_string(record(1)) + "\n(:LOADING #P\"/in/x y.sd\")");
}

TEST_F(RecordFile, ACutOffLastRecordIsDroppedAtEveryByteAndAppendsReadBack) {
  std::string whole;
  {
    record_file f(file());
    open_and_read(f);
    f.append(record(1));
    f.append(host::lisp::read_from_string("(:processing #P\"/in/a.sd\")"));
    f.append(record(2));
    // A name from an old file server: line breaks followed by what looks
    // like the start of a record, inside the string.
    f.append(record(3, "Drawing\n(:processing #P\"/in/b.sd\")\n(1) "));
    f.close();
    whole = records_test::slurp(file());
  }
  const std::size_t last_start = whole.rfind("\n#S");
  const std::vector<std::string> complete{text(1), "(:PROCESSING #P\"/in/a.sd\")", text(2)};
  for (std::size_t cut = last_start; cut < whole.size(); ++cut) {
    SCOPED_TRACE("cut at byte " + std::to_string(cut));
    records_test::spit(file(), whole.substr(0, cut));
    output.str("");
    record_file f(file());
    EXPECT_EQ(open_and_read(f), complete);
    if (cut > last_start + 1) {
      EXPECT_NE(output.str().find("the last record of " + file().string() + " is cut off at byte " +
                                  std::to_string(last_start + 1)),
                std::string::npos)
          << output.str();
      EXPECT_EQ(std::filesystem::file_size(file()), last_start) << "truncated to the last complete record";
    }
    f.append(record(4));
    f.close();
    record_file again(file());
    std::vector<std::string> expected = complete;
    expected.push_back(text(4));
    EXPECT_EQ(open_and_read(again), expected);
  }
}

TEST_F(RecordFile, DamageBeforeTheEndIsAnErrorNamingFileAndByte) {
  {
    record_file f(file());
    open_and_read(f);
    for (int i = 1; i <= 3; ++i) f.append(record(i));
  }
  const std::string whole = records_test::slurp(file());
  const std::size_t second = whole.find("\n#S", 1) + 1;
  const auto expect_damage = [&](const std::string& damaged, std::size_t at) {
    records_test::spit(file(), damaged);
    record_file f(file());
    try {
      open_and_read(f);
      FAIL() << "no error for " << damaged;
    } catch (const host::lisp::lisp_error& e) {
      EXPECT_NE(std::string(e.message())
                    .find("The record file " + file().string() + " is damaged at byte " + std::to_string(at)),
                std::string::npos)
          << e.message();
    }
    EXPECT_EQ(records_test::slurp(file()), damaged) << "a damaged file is left as it is";
  };
  // An unknown structure in the middle.
  std::string bad = whole;
  bad.replace(second, 5, "#S(XX");
  expect_damage(bad, second);
  // A string left open in the middle reads on to the end of the file, but
  // complete records follow it.
  bad = whole;
  bad.erase(whole.find('"', second + 30), 1);
  expect_damage(bad, second);
  // A record cut off in the middle by a crash, with records appended after it.
  expect_damage(whole.substr(0, second + 40) + whole.substr(second), second);
}

TEST_F(RecordFile, AnInvalidRecordIsReportedWithItsPosition) {
  records_test::spit(file(), "\n(1 2)\n(3 4)");
  record_file f(file());
  try {
    f.open([](const ref& r) {
      if (host::lisp::as_integer(host::lisp::car(r)) == 3) host::lisp::simple_error("odd record");
    });
    FAIL();
  } catch (const host::lisp::lisp_error& e) {
    EXPECT_EQ(e.message(), "The record at byte 7 of " + file().string() + " is invalid: odd record");
  }
}

TEST_F(RecordFile, ReadingStopsAtNil) {
  records_test::spit(file(), "\n(1)\nNIL\n(2)");
  EXPECT_EQ(read_record_file(file(), [](const ref&) {}).end_of_records, 4u);
}

TEST_F(RecordFile, AValueWithoutReadableFormIsRefusedBeforeWriting) {
  record_file f(file());
  open_and_read(f);
  f.append(record(1));
  const ref handle = host::lisp::make_handle("CLUSTER", nullptr);
  EXPECT_THROW(f.append(host::lisp::list({host::lisp::make_string("x"), handle})), host::lisp::lisp_error);
  EXPECT_THROW(f.append(host::lisp::make_condition("SIMPLE-ERROR", "boom")), host::lisp::lisp_error);
  f.close();
  record_file again(file());
  EXPECT_EQ(open_and_read(again), std::vector<std::string>{text(1)});
}

TEST_F(RecordFile, ARewriteReplacesTheFileWhole) {
  record_file f(file());
  open_and_read(f);
  for (int i = 1; i <= 3; ++i) f.append(record(i));
  f.rewrite({record(2), record(5)});
  EXPECT_FALSE(f.is_open());
  EXPECT_FALSE(std::filesystem::exists(dir / "records.lsp.new"));
  // A rewrite the host did not finish leaves its file beside the old one.
  records_test::spit(dir / "records.lsp.new", "\n#S(VANTREL-MIGRATOR:AMI-DRAWING-INFO :NAME \"cut");
  record_file again(file());
  EXPECT_EQ(open_and_read(again), (std::vector<std::string>{text(2), text(5)}));
  EXPECT_FALSE(std::filesystem::exists(dir / "records.lsp.new"));
}

}  // namespace
