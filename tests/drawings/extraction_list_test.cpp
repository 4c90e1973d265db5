#include "drawings/extraction_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "host/lisp/errors.h"

namespace {

namespace fs = std::filesystem;
using namespace vtm::drawings;
using ::testing::ElementsAre;

class ExtractionList : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("extraction test " + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<extraction_record> read(const std::string& text) {
    std::ofstream(dir_ / "list.csv", std::ios::binary) << text;
    return read_csv(dir_ / "list.csv");
  }

  // Builds the maps with a scanner that answers from `sysids` and records
  // which files it was asked for.
  extraction_maps build(const std::vector<extraction_record>& records) {
    extraction_scan scan;
    scan.model_sysids = [this](const std::vector<fs::path>& files) {
      ++batches_;
      std::vector<std::vector<std::string>> found;
      for (const fs::path& file : files) {
        scanned_.push_back(file.lexically_relative(dir_).string());
        auto it = sysids_.find(file.filename().string());
        found.push_back(it == sysids_.end() ? std::vector<std::string>{} : it->second);
      }
      return found;
    };
    scan.set_progress_maximum = [this](std::size_t max) { maximum_ = max; };
    scan.advance_progress = [this] { ++ticks_; };
    return make_extraction_maps(dir_, records, scan);
  }

  static std::vector<std::string> ids(const extraction_maps::record_list& list) {
    std::vector<std::string> out;
    for (const extraction_record* r : list) out.push_back(get_record_id(*r));
    return out;
  }

  fs::path dir_;
  std::map<std::string, std::vector<std::string>> sysids_;
  std::vector<std::string> scanned_;
  std::size_t maximum_ = 0, ticks_ = 0, batches_ = 0;
};

TEST_F(ExtractionList, SplitsEveryLineAtEveryCommaWithoutQuoting) {
  auto records = read(
      "TYPE,NAME,FILEPATH,PART_NUMBER,FILE_TO_LOAD\r\n"
      "ME Drawing,D1,dir\r\n"
      "a,\"b,c\",,d,e,surplus,more\n"
      "\n"
      "x,y");
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(*records[0].field("TYPE"), "ME Drawing");
  EXPECT_EQ(*records[0].field("FILEPATH"), "dir");
  EXPECT_EQ(records[0].field("PART_NUMBER"), nullptr);
  EXPECT_EQ(records[0].field("FILE_TO_LOAD"), nullptr);
  EXPECT_THAT(records[1].fields, ElementsAre("a", "\"b", "c\"", "", "d"));
  EXPECT_EQ(*records[2].field("TYPE"), "");
  EXPECT_EQ(records[2].field("NAME"), nullptr);
  EXPECT_EQ(*records[3].field("NAME"), "y");
  EXPECT_EQ(records[3].field("UNKNOWN"), nullptr);
}

TEST_F(ExtractionList, PathsAndIds) {
  auto records =
      read("NAME,REVISION,FILEPATH,FILE_TO_LOAD\nbolt,B,sub/dir,bolt m8.sdpc\nnut,,/abs,nut.sdpc\n");
  EXPECT_EQ(make_record_fullpath(dir_ / "files", records[0]),
            dir_ / "files" / "sub" / "dir" / "bolt m8.sdpc");
  EXPECT_EQ(make_record_fullpath(dir_ / "files", records[1]), dir_ / "files" / "abs" / "nut.sdpc");
  EXPECT_EQ(get_record_id(records[0]), "bolt,B");
  EXPECT_EQ(get_record_id(records[1]), "nut,");
  EXPECT_THROW(read_csv(dir_ / "missing.csv"), host::lisp::lisp_error);
}

// A spreadsheet's export starts with a byte-order mark; a list without the
// columns records need is told before anything is read.
TEST_F(ExtractionList, ByteOrderMarkAndMissingColumns) {
  auto records = read(
      "\xEF\xBB\xBF"
      "TYPE,NAME,REVISION\r\nME Drawing,D1,A\r\n");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].value("TYPE"), "ME Drawing");
  EXPECT_THAT(missing_extraction_columns(dir_ / "list.csv"),
              ElementsAre("PART_NUMBER", "FILEPATH", "FILE_TO_LOAD"));
  read(
      "\xEF\xBB\xBF"
      "FILE_TO_LOAD,FILEPATH,PART_NUMBER,REVISION,NAME,TYPE,OTHER\n");
  EXPECT_TRUE(missing_extraction_columns(dir_ / "list.csv").empty());
  read("");
  EXPECT_EQ(missing_extraction_columns(dir_ / "list.csv").size(), 6u);
}

// Files are found below the extraction folder; ".." may not lead out of it,
// and a model whose file would lie outside is neither read nor matched.
TEST_F(ExtractionList, PathsThatLeaveTheExtractionFolderAreNotRead) {
  const fs::path base = dir_ / "extraction" / "files";
  auto records = read(
      "TYPE,NAME,REVISION,PART_NUMBER,FILEPATH,FILE_TO_LOAD\n"
      "ME Drawing,in,1,,sub/../d,x.mi\n"
      "ME Drawing,beside,1,,..,x.mi\n"
      "ME Drawing,abs,1,,/d,x.mi\n"
      "ME Drawing,up,1,,../..,x.mi\n"
      "ME Drawing,name,1,,d,../../../x.mi\n"
      "ME Drawing,folder,1,,..,\n"
      "ME Component CAD Model,out,1,PN,d/../../..,o.sdpc\n"
      "ME Component CAD Model,ok,1,PN,d,o.sdpc\n");
  std::vector<bool> inside;
  for (std::size_t i = 0; i < 6; ++i)
    inside.push_back(inside_extraction_folder(base, make_record_fullpath(base, records[i])));
  EXPECT_THAT(inside, ElementsAre(true, true, true, false, false, false));
  EXPECT_TRUE(inside_extraction_folder(dir_ / "extraction" / "files/", base / "d" / "x.mi"));

  sysids_ = {{"o.sdp", {"S"}}};
  std::vector<std::string> refused;
  extraction_scan scan;
  scan.model_sysids = [&](const std::vector<fs::path>& files) {
    for (const fs::path& f : files) scanned_.push_back(f.lexically_relative(dir_).string());
    return std::vector<std::vector<std::string>>(files.size(), {"S"});
  };
  scan.set_progress_maximum = [](std::size_t) {};
  scan.advance_progress = [&] { ++ticks_; };
  scan.outside_folder = [&](const extraction_record& r, const fs::path& f) {
    refused.push_back(get_record_id(r) + " " + f.lexically_relative(dir_).string());
  };
  const extraction_maps maps = make_extraction_maps(base, records, scan);
  EXPECT_THAT(refused, ElementsAre("out,1 o.sdpc"));
  EXPECT_THAT(scanned_, ElementsAre("extraction/files/d/o.sdp"));
  EXPECT_THAT(ids(maps.entry(maps.sysid_map, "S")), ElementsAre("ok,1"));
  EXPECT_THAT(ids(maps.entry(maps.partnumber_3d_map, "PN")), ElementsAre("ok,1"));
  EXPECT_TRUE(maps.entry(maps.name_3d_map, "out").empty());
  EXPECT_EQ(ticks_, 2u);
}

TEST_F(ExtractionList, MapsScanInstanceThenContentsFilesAndListNewestFirst) {
  sysids_ = {{"p.sdp", {"S1"}}, {"a.sda", {"S2"}}, {"a.sdac", {"S1", "S3"}}, {"p.sdpc", {"never"}}};
  auto records = read(
      "TYPE,NAME,REVISION,PART_NUMBER,FILEPATH,FILE_TO_LOAD\n"
      "ME Drawing,A,1,,d,a.mi\n"
      "ME Component CAD Model,p,1,PN1,m,p.sdpc\n"
      "ME Drawing,B,1,,d,b.mi\n"
      "ME Assembly CAD Model,a,2,PN1,m,a.sdac\n"
      "Document,doc,1,PN1,m,x.docc\n"
      "ME Drawing,C,1,,d,c.mi\n");
  extraction_maps maps = build(records);

  EXPECT_THAT(scanned_, ElementsAre("m/p.sdp", "m/a.sda", "m/a.sdac"));
  EXPECT_THAT(ids(maps.drawings), ElementsAre("C,1", "B,1", "A,1"));
  EXPECT_THAT(ids(maps.entry(maps.sysid_map, "S1")), ElementsAre("a,2", "p,1"));
  EXPECT_THAT(ids(maps.entry(maps.sysid_map, "S3")), ElementsAre("a,2"));
  EXPECT_TRUE(maps.entry(maps.sysid_map, "never").empty());
  EXPECT_THAT(ids(maps.entry(maps.partnumber_3d_map, "PN1")), ElementsAre("a,2", "p,1"));
  EXPECT_THAT(ids(maps.entry(maps.name_3d_map, "p")), ElementsAre("p,1"));
  EXPECT_EQ(maximum_, records.size());
  EXPECT_EQ(ticks_, 3u);  // models and other records, not drawings
}

TEST_F(ExtractionList, MetadataMatchingFollowsTheSwitches) {
  auto records = read(
      "TYPE,NAME,REVISION,PART_NUMBER,FILEPATH,FILE_TO_LOAD\n"
      "ME Component CAD Model,bracket,1,4711,m,b.sdpc\n"
      "ME Component CAD Model,4711,1,,m,c.sdpc\n"
      "ME Component CAD Model,plate,1,,m,d.sdpc\n"
      "ME Drawing,bracket,1,4711,d,b.mi\n"
      "ME Drawing,unnamed,1,,d,u.mi\n");
  extraction_maps maps = build(records);
  const extraction_record& drawing = records[3];
  EXPECT_THAT(ids(extraction_maps_models_by_metadata(maps, drawing, true, true)),
              ElementsAre("bracket,1", "4711,1", "bracket,1"));
  EXPECT_THAT(ids(extraction_maps_models_by_metadata(maps, drawing, false, true)), ElementsAre("bracket,1"));
  EXPECT_TRUE(extraction_maps_models_by_metadata(maps, drawing, false, false).empty());
  // A drawing without part number is not linked to the models without one.
  EXPECT_TRUE(extraction_maps_models_by_metadata(maps, records[4], true, true).empty());
}

// Files are scanned many at a time; the maps come out as scanning them one
// by one in list order gives them, also across batches.
TEST_F(ExtractionList, ScansInBatchesAndKeepsTheListOrder) {
  std::string text = "TYPE,NAME,REVISION,PART_NUMBER,FILEPATH,FILE_TO_LOAD\n";
  for (int i = 0; i < 600; ++i) {
    const std::string n = std::to_string(i);
    text += (i % 3 == 0 ? "ME Assembly CAD Model,a" : "ME Component CAD Model,p") + n + ",A,PN,d," +
            (i % 3 == 0 ? "a" : "p") + n + (i % 3 == 0 ? ".sdac\n" : ".sdpc\n");
    if (i % 50 == 7) text += "ME Drawing,d" + n + ",1,,d,d" + n + ".ami\n";
    sysids_[(i % 3 == 0 ? "a" : "p") + n + (i % 3 == 0 ? ".sda" : ".sdp")] = {"S", "I" + n};
    if (i % 3 == 0) sysids_["a" + n + ".sdac"] = {"S"};
  }
  const auto records = read(text);
  const extraction_maps maps = build(records);
  EXPECT_GT(batches_, 1u);
  std::vector<std::string> expected_scan, expected_s;
  for (int i = 0; i < 600; ++i) {
    const std::string n = std::to_string(i);
    if (i % 3 == 0) {
      expected_scan.push_back("d/a" + n + ".sda");
      expected_scan.push_back("d/a" + n + ".sdac");
    } else {
      expected_scan.push_back("d/p" + n + ".sdp");
    }
    for (int k = 0; k < (i % 3 == 0 ? 2 : 1); ++k)
      expected_s.insert(expected_s.begin(), (i % 3 == 0 ? "a" : "p") + n + ",A");
    EXPECT_EQ(ids(maps.entry(maps.sysid_map, "I" + n)),
              std::vector<std::string>{(i % 3 == 0 ? "a" : "p") + n + ",A"});
  }
  EXPECT_EQ(scanned_, expected_scan);
  EXPECT_EQ(ids(maps.entry(maps.sysid_map, "S")), expected_s);
  std::vector<std::string> drawings;
  for (int i = 557; i > 0; i -= 50) drawings.push_back("d" + std::to_string(i) + ",1");
  EXPECT_EQ(ids(maps.drawings), drawings);
  EXPECT_EQ(ticks_, 600u);
  EXPECT_EQ(maximum_, records.size());
}

}  // namespace
