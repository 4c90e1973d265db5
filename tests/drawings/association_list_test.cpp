#include "drawings/association_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "host/lisp/errors.h"

namespace {

namespace fs = std::filesystem;
using namespace vtm::drawings;
using host::lisp::make_string;
using host::lisp::ref;

std::string read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class AssociationList : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("association test " + std::to_string(::getpid()));
    fs::create_directories(dir_ / "tmp");
    list_file_ = dir_ / "out.csv";
    std::ofstream(dir_ / "list.csv") << "TYPE,NAME,REVISION,PART_NUMBER,FILEPATH,FILE_TO_LOAD\n"
                                        "ME Component CAD Model,A,1,PA,m,a.sdpc\n"
                                        "ME Component CAD Model,B,2,PB,m,b.sdpc\n"
                                        "ME Component CAD Model,C,1,PD,m,c.sdpc\n"
                                        "ME Component CAD Model,C2,1,PC,m,c2.sdpc\n"
                                        "ME Component CAD Model,D,1,PD,m,d.sdpc\n"
                                        "ME Drawing,D,1,PD,d,sub/d.mi\n";
    records_ = read_csv(dir_ / "list.csv");
    extraction_scan scan;
    scan.model_sysids = [](const std::vector<fs::path>& files) {
      std::vector<std::vector<std::string>> found;
      for (const fs::path& f : files) {
        const std::string n = f.stem().string();
        if (n == "c" || n == "c2")
          found.push_back({"SC"});  // two models share an instance
        else
          found.push_back({"S" + n});
      }
      return found;
    };
    scan.set_progress_maximum = [](std::size_t) {};
    scan.advance_progress = [] {};
    maps_ = make_extraction_maps(dir_, records_, scan);
  }
  void TearDown() override { fs::remove_all(dir_); }

  const extraction_record& drawing() { return records_.back(); }

  std::string run(const std::vector<std::string>& sysids, bool by_name = true, bool by_partnumber = true,
                  ref status = make_string("SUCCESS")) {
    {
      association_list list(list_file_);
      list.begin_drawing(get_record_id(drawing()));
      write_drawing_associations(list, maps_, drawing(), {sysids, status}, by_name, by_partnumber,
                                 dir_ / "log", dir_ / "tmp");
    }
    std::string text = read(list_file_);
    fs::remove(list_file_);
    return text.substr(association_list_header.size() + 1);
  }

  fs::path dir_, list_file_;
  std::vector<extraction_record> records_;
  extraction_maps maps_;
};

TEST_F(AssociationList, OneLinePerModelFoundThenTheMissingOwnersAndTheMetadataLinks) {
  EXPECT_EQ(run({"Sa", "Sb", "Sa"}), "D,1,A,1,\"SUCCESS\"\nD,1,B,2,\"SUCCESS\"\n");
  EXPECT_EQ(run({"Sa", "unknown", "Sb"}),
            "D,1,A,1,\"SUCCESS\"\n"
            "D,1,B,2,\"SUCCESS\"\n"
            "D,1,,,\"1 of 3 viewset owners were not found in any 3d model!\"\n"
            "D,1,D,1,\"ZPN-link\"\n"
            "D,1,C,1,\"ZPN-link\"\n");
  // A model already listed is not linked again; with the toggles off nothing is.
  EXPECT_EQ(run({"Sd", "unknown"}),
            "D,1,D,1,\"SUCCESS\"\n"
            "D,1,,,\"1 of 2 viewset owners were not found in any 3d model!\"\n"
            "D,1,C,1,\"ZPN-link\"\n");
  EXPECT_EQ(run({"unknown"}, false, false),
            "D,1,,,\"1 of 1 viewset owners were not found in any 3d model!\"\n");
  EXPECT_EQ(run({"SC"}, false, false),
            "D,1,,,Viewset owner found multiple times in: C2;C\n"
            "D,1,,,\"1 of 1 viewset owners were not found in any 3d model!\"\n");
}

TEST_F(AssociationList, DrawingsWithoutOwnersOrThatFailedToLoad) {
  EXPECT_EQ(run({}), "D,1,,,\"Drawing is not associated with any 3d model.\"\n");
  EXPECT_EQ(run({}, true, true, host::lisp::nil()), "D,1,,,NIL\n");
  EXPECT_EQ(run({}, true, true, make_string("Bad \"file\"")), "D,1,,,\"Bad \\\"file\\\"\"\n");

  std::ofstream(dir_ / "log") << "warnings";
  const std::string moved = (dir_ / "tmp" / "sub_d.mi.log").string();
  EXPECT_EQ(run({"Sa"}),
            "D,1,,,\"Drawing imported with warnings. See log file: " + moved + "\"\nD,1,A,1,\"SUCCESS\"\n");
  EXPECT_FALSE(fs::exists(dir_ / "log"));
  EXPECT_EQ(read(moved), "warnings");
}

TEST_F(AssociationList, ResumingCompletesThePendingLineAndSkipsWhatIsListed) {
  {
    association_list list(list_file_);
    EXPECT_EQ(list.done_count(), 0u);
    list.begin_drawing("A,1");
    list.write_ending(not_associated_ending());
    list.begin_drawing("B,2");  // the host dies while B loads
  }
  {
    association_list list(list_file_);
    EXPECT_TRUE(list.done("A,1"));
    EXPECT_TRUE(list.done("B,2"));
    EXPECT_FALSE(list.done("C,1"));
    list.begin_drawing("C,1");
    list.write_ending(load_status_ending(host::lisp::nil()));
  }
  {
    association_list list(list_file_);  // a complete list
    EXPECT_EQ(list.done_count(), 3u);
  }
  { association_list list(list_file_); }  // and again: its last line is now empty
  EXPECT_EQ(read(list_file_), std::string(association_list_header) +
                                  "\n"
                                  "A,1,,,\"Drawing is not associated with any 3d model.\"\n"
                                  "B,2,,,\"Fatal error!\"\n"
                                  "C,1,,,NIL\n"
                                  "\n"
                                  "\n");
}

// Logs of drawings with one FILE_TO_LOAD in different folders, or from an
// earlier run, never replace each other.
TEST_F(AssociationList, EveryWarningsLineNamesItsOwnLog) {
  std::ofstream(dir_ / "evil.csv") << "FILE_TO_LOAD\n../../etc/x.mi\n..\\..\\y.mi\n";
  auto evil = read_csv(dir_ / "evil.csv");
  EXPECT_EQ(import_log_name(evil[0]), ".._.._etc_x.mi.log");
  EXPECT_EQ(import_log_name(evil[1]), ".._.._y.mi.log");

  std::ofstream(dir_ / "same.csv") << "TYPE,NAME,REVISION,FILEPATH,FILE_TO_LOAD\n"
                                      "ME Drawing,E,1,e1,x.mi\nME Drawing,F,1,e2,x.mi\n";
  const auto same = read_csv(dir_ / "same.csv");
  std::vector<std::string> lines;
  for (int round = 0; round < 2; ++round)
    for (const extraction_record& d : same) {
      std::ofstream(dir_ / "log") << "warnings of " << get_record_id(d) << " " << round;
      association_list list(list_file_);
      list.begin_drawing(get_record_id(d));
      write_drawing_associations(list, maps_, d, {{}, make_string("SUCCESS")}, true, true, dir_ / "log",
                                 dir_ / "tmp");
    }
  std::istringstream text(read(list_file_));
  std::map<std::string, std::string> logs;
  for (std::string line; std::getline(text, line);) {
    const std::string marker = "See log file: ";
    if (line.find(marker) == std::string::npos) continue;
    const std::string log =
        line.substr(line.find(marker) + marker.size(), line.size() - 1 - line.find(marker) - marker.size());
    EXPECT_EQ(read(log).substr(0, 14), "warnings of " + line.substr(0, 1) + ",") << log;
    logs[log] = read(log);
  }
  EXPECT_EQ(logs.size(), 4u);
  EXPECT_TRUE(logs.contains((dir_ / "tmp" / "x.mi.log").string()));
  EXPECT_TRUE(logs.contains((dir_ / "tmp" / "x.mi-4.log").string()));
}

// The list as people's tools leave it: a spreadsheet's byte-order mark and
// line ends, an empty file, a file that is no association list, and the
// host's error printed over several lines.
TEST_F(AssociationList, ResumesListsAsToolsLeaveThem) {
  auto write_list = [&](const std::string& text) { std::ofstream(list_file_, std::ios::binary) << text; };
  const std::string header = std::string(association_list_header);
  write_list("\xEF\xBB\xBF" + header + "\r\nA,1,,,NIL\r\nB,2,X,1,\"SUCCESS\"\r\n");
  {
    association_list list(list_file_);
    EXPECT_TRUE(list.done("A,1"));
    EXPECT_TRUE(list.done("B,2"));
    EXPECT_EQ(list.done_count(), 2u);
    EXPECT_FALSE(list.completed_fatal_error());
  }
  for (const std::string blank : {"", "  \n\r\n", "\xEF\xBB\xBF\n"}) {
    write_list(blank);
    { association_list list(list_file_); }
    EXPECT_EQ(read(list_file_), header + "\n");
  }
  write_list("TYPE,NAME\nME Drawing,A\n");
  try {
    association_list list(list_file_);
    ADD_FAILURE() << "a list that is no association list was resumed";
  } catch (const host::lisp::lisp_error& e) {
    EXPECT_NE(e.message().find(list_file_.string() + " is not a drawing association list"), std::string::npos)
        << e.message();
  }
  EXPECT_EQ(read(list_file_), "TYPE,NAME\nME Drawing,A\n");

  // Strings of the printed error hold line breaks, escaped quotes and a
  // "|"; names of a master list hold quotes of their own.
  const std::string records =
      header +
      "\n"
      "C,1,,,#S(FRAME2::ERROR-OBJECT :MESSAGE \"Damaged\nD,9,,,\\\"drawing\\\" |\" :X |a\nE,9 \"|)\n"
      "F,1,,,\"Drawing imported with warnings. See log file: /tmp/12\" f.mi.log\"\n"
      "G,1,,,Viewset owner found multiple times in: 3\" pipe;4\" pipe;5\" pipe\n"
      "H\" x,1,,,\"Not\nI,9,,,found\"\n";
  write_list(records);
  {
    association_list list(list_file_);
    EXPECT_EQ(list.done_count(), 4u);
    for (const char* id : {"C,1", "F,1", "G,1", "H\" x,1"}) EXPECT_TRUE(list.done(id)) << id;
    EXPECT_FALSE(list.completed_fatal_error());
  }
  EXPECT_EQ(read(list_file_), records + "\n");
  write_list(records + "J,1");
  {
    association_list list(list_file_);
    EXPECT_TRUE(list.done("J,1"));
    EXPECT_TRUE(list.completed_fatal_error());
  }
  EXPECT_EQ(read(list_file_), records + "J,1,,,\"Fatal error!\"\n");
}

}  // namespace
