// The Drawing Associator run in the built sdhost, as a user runs it from
// the console, including a host killed by a damaged drawing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/file_lock.h"
#include "drawings/association_list.h"
#include "support/sdhost_process.h"

namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

class AssociationRun : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("association run " + std::to_string(::getpid()));
    fs::remove_all(dir_);
    const fs::path files = dir_ / "extraction" / "files";
    write(files / "m" / "p.sdp",
          "(:sdsim-model 1)\n(:model :sysid \"S-P\" :name \"p\" :contents (:file \"p.sdpc\"))\n");
    write(files / "m" / "p.sdpc", "(:sdsim-model 1)\n(:contents :id \"p\" :sysid \"C-P\" :name \"p\")\n");
    write(files / "m" / "a.sda",
          "(:sdsim-model 1)\n(:model :sysid \"S-A\" :name \"a\" :contents (:file \"a.sdac\"))\n");
    write(files / "m" / "a.sdac",
          "(:sdsim-model 1)\n(:contents :id \"a\" :sysid \"C-A\" :name \"a\""
          " :children ((:name \"p1\" :sysid \"S-AP\" :contents (:file \"p.sdpc\"))))\n");
    write(files / "d" / "d1.bi",
          "(:sdsim-ami 1)\n(:drawing :number \"D1\" :views ((:owner \"S-P\") (:owner \"S-AP\") (:owner "
          "\"S-X\")))\n");
    write(files / "d" / "d3.bi", "(:sdsim-ami 1)\n(:crash)\n");
    write(files / "d" / "d4.bi", "(:sdsim-ami 1)\n(:drawing :number \"D4\" :import-warnings (\"w1\"))\n");
    write(files / "d" / "d5.bi", "(:sdsim-ami 1)\n(:fail \"Damaged drawing\")\n");
    write(dir_ / "extraction" / "list.csv",
          "TYPE,NAME,REVISION,PART_NUMBER,FILEPATH,FILE_TO_LOAD\n"
          "ME Component CAD Model,p,A,PN-P,m,p.sdpc\n"
          "ME Assembly CAD Model,a,B,PN-A,m,a.sdac\n"
          "ME Component CAD Model,q,C,PN-Q,m,q.sdpc\n"
          "ME Drawing,d1,1,PN-Q,d,d1.bi\n"
          "ME Drawing,d2,1,,d,missing.bi\n"
          "ME Drawing,d3,1,,d,d3.bi\n"
          "ME Drawing,d4,1,,d,d4.bi\n"
          "ME Drawing,d5,1,,d,d5.bi\n");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Exit status of one run; 128 + signal when the host was killed. before
  // and after are console lines around the run.
  int run(const std::string& before = "", const std::string& after = "") {
    return run_lists((dir_ / "extraction" / "list.csv").string(), out().string(), before, after);
  }
  // The same with the lists as given, relative to the directory of the test.
  int run_lists(const std::string& input, const std::string& output, const std::string& before = "",
                const std::string& after = "") {
    const std::string line =
        "VANTREL_DRAWING_ASSOCIATOR :INPUT_CSV \"" + input + "\" :OUTPUT_CSV \"" + output + "\" complete";
    std::vector<std::string> arguments;
    if (!before.empty()) arguments.insert(arguments.end(), {"-e", before});
    arguments.insert(arguments.end(), {"-e", line});
    if (!after.empty()) arguments.insert(arguments.end(), {"-e", after});
    vtm_test::sdhost_run how;
    how.cwd = dir_;
    how.environment = {{"SDUSERCUSTOMIZEDIR", (dir_ / "user").string()}, {"TMPDIR", dir_.string()}};
    how.environment.insert(how.environment.end(), environment_.begin(), environment_.end());
    const vtm_test::sdhost_result r = vtm_test::run_sdhost(arguments, how);
    std::ofstream(dir_ / "stdout", std::ios::binary) << r.err << r.out;
    return r.status;
  }
  fs::path out() const { return dir_ / "out put" / "associations.csv"; }
  fs::path list() const { return dir_ / "extraction" / "list.csv"; }
  std::string output() const { return read(dir_ / "stdout"); }
  bool told(const std::string& text) const { return output().find(text) != std::string::npos; }

  fs::path dir_;
  std::vector<std::pair<std::string, std::string>> environment_;  // more for the host
};

TEST_F(AssociationRun, ADrawingThatKillsTheHostIsCompletedAndNotRetried) {
  fs::create_directories(out().parent_path());
  EXPECT_EQ(run(), 128 + 9) << read(dir_ / "stdout");
  const std::string crashed = read(out());
  EXPECT_EQ(crashed.substr(crashed.rfind('\n') + 1), "d3,1");  // the pending line
  const std::string first_part = crashed.substr(0, crashed.rfind('\n') + 1);
  EXPECT_NE(first_part.find("d5,1,,,#S(FRAME2::ERROR-OBJECT"), std::string::npos) << first_part;
  EXPECT_NE(first_part.find("d4,1,,,\"Drawing imported with warnings. See log file: "), std::string::npos);
  EXPECT_NE(first_part.find("d4,1,,,\"Drawing is not associated with any 3d model.\"\n"), std::string::npos);

  ASSERT_EQ(run(), 3) << read(dir_ / "stdout");  // d3, d2 and d5 were not read
  const std::string done = read(out());
  EXPECT_EQ(done.rfind(first_part, 0), 0u) << "a line written before was changed";
  EXPECT_EQ(done.substr(first_part.size()),
            "d3,1,,,\"Fatal error!\"\n"
            "d2,1,,,NIL\n"
            "d1,1,p,A,\"SUCCESS\"\n"
            "d1,1,a,B,\"SUCCESS\"\n"
            "d1,1,,,\"1 of 3 viewset owners were not found in any 3d model!\"\n"
            "d1,1,q,C,\"ZPN-link\"\n");
  EXPECT_FALSE(fs::exists(out().parent_path() / "log"));

  // Over a complete list nothing is loaded: a drawing that would kill the
  // host is not touched.
  write(dir_ / "extraction" / "files" / "d" / "d1.bi", "(:sdsim-ami 1)\n(:crash)\n");
  ASSERT_EQ(run(), 0) << read(dir_ / "stdout");
  EXPECT_EQ(read(out()), done + "\n");
}

// Ctrl-C stops the run at its next step: between drawings, with no line
// left pending, or in the scan of the models, where dumps it cut short are
// not taken for models without a dump and nothing is listed. A rerun carries
// on and lists what a run never interrupted lists.
TEST_F(AssociationRun, AnInterruptedRunStopsCleanlyAndARerunCarriesOn) {
  const std::string plain = "(:sdsim-ami 1)\n(:drawing :number \"D\")\n";
  write(dir_ / "extraction" / "files" / "d" / "d3.bi", plain);
  write(dir_ / "extraction" / "files" / "d" / "d4.bi", plain);
  fs::create_directories(out().parent_path());
  ASSERT_EQ(run(), 3) << output();  // d2 and d5 cannot be read
  const std::string reference = read(out());
  fs::remove(out());

  // The drawings go newest first: d5, d4, d3 ...
  write(dir_ / "extraction" / "files" / "d" / "d4.bi",
        "(:sdsim-ami 1)\n(:signal :sigint)\n(:drawing :number \"D\")\n");
  EXPECT_EQ(run(), 128 + 2) << output();
  EXPECT_TRUE(
      told("The drawing association was interrupted (signal 2) before d3,1; a rerun carries on from "
           "there.\n"))
      << output();
  EXPECT_TRUE(told("Drawing association stopped. This run: 2 drawings associated")) << output();
  const std::string stopped = read(out());
  ASSERT_EQ(stopped, reference.substr(0, reference.find("d3,1")));
  write(dir_ / "extraction" / "files" / "d" / "d4.bi", plain);
  EXPECT_EQ(run(), 3) << output();
  EXPECT_EQ(read(out()), stopped + "\n" + reference.substr(stopped.size()));

  // More models than one batch of dumps, the first without a dump: the
  // host is interrupted as it reports it.
  write(dir_ / "extraction" / "files" / "f" / "f.sdp",
        "(:sdsim-model 1)\n(:model :sysid \"S-F\" :name \"f\" :contents (:file \"f.sdpc\"))\n");
  write(dir_ / "extraction" / "files" / "f" / "f.sdpc",
        "(:sdsim-model 1)\n(:contents :id \"f\" :name \"f\")\n");
  write(dir_ / "extraction" / "files" / "f" / "bad.sdp", "just text\n");
  std::string models = "ME Component CAD Model,bad,1,PN-BAD,f,bad.sdpc\n";
  for (int i = 0; i < 300; ++i)
    models += "ME Component CAD Model,f" + std::to_string(i) + ",1,PN-F,f,f.sdpc\n";
  std::string text = read(list());
  text.insert(text.find('\n') + 1, models);
  write(list(), text);
  fs::remove(out());
  environment_ = {{"SDSIM_KILL_ON", "No XML for"}, {"SDSIM_KILL_SIGNAL", "2"}};
  EXPECT_EQ(run(), 128 + 2) << output();
  EXPECT_TRUE(
      told("The drawing association was interrupted (signal 2) while the models were scanned; a "
           "rerun carries on from there.\n"))
      << output();
  const std::string header(vtm::drawings::association_list_header);
  EXPECT_EQ(read(out()), header + "\n");
  environment_.clear();
  EXPECT_EQ(run(), 3) << output();
  EXPECT_EQ(read(out()), header + "\n\n" + reference.substr(header.size() + 1));
}

// Lists named relative to the directory the host started in.
TEST_F(AssociationRun, RelativeListPathsMeanTheFilesBesideTheStartingDirectory) {
  write(dir_ / "extraction" / "files" / "d" / "d3.bi", "(:sdsim-ami 1)\n(:drawing :number \"D3\")\n");
  fs::create_directories(out().parent_path());
  // d2 and d5 cannot be read.
  ASSERT_EQ(run_lists("extraction/list.csv", "out put/associations.csv"), 3) << read(dir_ / "stdout");
  const std::string list = read(out());
  EXPECT_NE(list.find("d1,1,p,A,\"SUCCESS\"\n"), std::string::npos) << list;
  EXPECT_NE(list.find("d3,1,,,\"Drawing is not associated with any 3d model.\"\n"), std::string::npos)
      << list;
}

// Annotation is restarted before every threshold-th drawing the run loads,
// counted from 1; a threshold of 0 never restarts it.
TEST_F(AssociationRun, AnnotationIsRestartedBeforeEveryThresholdthDrawing) {
  write(dir_ / "extraction" / "files" / "d" / "d3.bi", "(:sdsim-ami 1)\n(:drawing :number \"D3\")\n");
  fs::create_directories(out().parent_path());
  const auto restarts = [&](const std::string& threshold) {
    fs::remove(out());
    EXPECT_EQ(run("(setq vtm::*annotation-restart-threshold* " + threshold + ")",
                  "(sdsim:module-activations \"ANNOTATION\")"),
              3)  // d2 and d5 cannot be read
        << read(dir_ / "stdout");
    const std::string output = read(dir_ / "stdout");
    const std::size_t end = output.find_last_not_of('\n');
    return output.substr(output.find_last_of('\n', end) + 1, end - output.find_last_of('\n', end));
  };
  // Five drawings.
  EXPECT_EQ(restarts("2"), "2");
  EXPECT_EQ(restarts("1"), "5");
  EXPECT_EQ(restarts("5"), "1");
  EXPECT_EQ(restarts("6"), "0");
  EXPECT_EQ(restarts("0"), "0");
}

// A master list as a spreadsheet exports it, a drawing whose error spans
// lines as the last one listed, and the output list re-saved by a
// spreadsheet: the run lists every drawing once and a resume adds nothing.
TEST_F(AssociationRun, ListsEditedWithEverydayToolsAreResumedWithoutDuplicates) {
  write(dir_ / "extraction" / "files" / "d" / "d3.bi", "(:sdsim-ami 1)\n(:drawing :number \"D3\")\n");
  write(dir_ / "extraction" / "files" / "d" / "d6.bi", "(:sdsim-ami 1)\n(:fail \"Damaged\ndrawing\")\n");
  std::string text = read(list());
  text.insert(text.find('\n') + 1, "ME Drawing,d0,1,,d,d6.bi\n");  // listed last
  std::string exported = "\xEF\xBB\xBF";
  for (char c : text) exported += c == '\n' ? std::string("\r\n") : std::string(1, c);
  write(list(), exported);
  fs::create_directories(out().parent_path());

  EXPECT_EQ(run(), 3) << output();  // d2, d5 and d0 were not read
  const std::string first = read(out());
  EXPECT_EQ(
      first.rfind(std::string("DRAWING_NAME,DRAWING_REV,VIEWSET_OWNER_NAME,VIEWSET_OWNER_REV,STATUS\n"), 0),
      0u);
  EXPECT_NE(first.find("d1,1,p,A,\"SUCCESS\"\n"), std::string::npos) << first;
  EXPECT_NE(first.find("d3,1,,,\"Drawing is not associated with any 3d model.\"\n"), std::string::npos)
      << first;
  const std::size_t last = first.find("d0,1,,,#S(FRAME2::ERROR-OBJECT");
  ASSERT_NE(last, std::string::npos) << first;
  EXPECT_NE(first.find("Damaged\ndrawing", last), std::string::npos) << first;

  write(out(), "\xEF\xBB\xBF" + first);
  EXPECT_EQ(run(), 0) << output();
  EXPECT_EQ(read(out()), "\xEF\xBB\xBF" + first + "\n");
}

// What can be checked at once is, before the models are scanned and before
// anything is written.
TEST_F(AssociationRun, ListsAreCheckedBeforeTheLongPart) {
  fs::create_directories(out().parent_path());
  const std::string clean = read(list());
  write(list(), "TYPE,NAME,PART_NUMBER,FILE_TO_LOAD" + clean.substr(clean.find('\n')));
  EXPECT_EQ(run(), 1);
  EXPECT_TRUE(told("The extraction list " + list().string() + " lacks the columns REVISION, FILEPATH."))
      << output();
  EXPECT_FALSE(fs::exists(out()));
  write(list(), clean);

  EXPECT_EQ(run_lists(list().string(), list().string()), 1);
  EXPECT_TRUE(told("The drawing association list " + list().string() + " is the extraction list itself"))
      << output();
  EXPECT_EQ(read(list()), clean);

  const fs::path nowhere = dir_ / "nowhere" / "a.csv";
  EXPECT_EQ(run_lists(list().string(), nowhere.string()), 1);
  EXPECT_TRUE(told("The directory " + nowhere.parent_path().string() + " of the drawing association list"))
      << output();
  EXPECT_FALSE(told("Drawing Associator:")) << output();  // no scan began

  {
    vtm::core::file_lock running;
    ASSERT_TRUE(running.try_lock(out().string() + ".lock"));
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(told("The drawing association list " + out().string() + " is in use by process " +
                     std::to_string(::getpid()) + "."))
        << output();
    EXPECT_FALSE(told("Drawing Associator:")) << output();
    EXPECT_FALSE(fs::exists(out()));
  }

  // A list resumed: the drawings it lists count once, whether the master
  // list has them or not, so each bar ends at its real total.
  write(dir_ / "extraction" / "files" / "d" / "d3.bi", "(:sdsim-ami 1)\n(:drawing :number \"D3\")\n");
  write(out(),
        "DRAWING_NAME,DRAWING_REV,VIEWSET_OWNER_NAME,VIEWSET_OWNER_REV,STATUS\n"
        "zz,9,,,NIL\nyy,9,,,NIL\nd4,1,,,NIL\n");
  EXPECT_EQ(run(), 3);  // d2 and d5 cannot be read
  EXPECT_TRUE(told("The drawing association list " + out().string() + " exists; the run resumes it."))
      << output();
  EXPECT_TRUE(told("Drawing Associator: done, 3/3\n")) << output();  // the models scanned
  EXPECT_TRUE(told("Drawing association: done, 5/5\n")) << output();
}

// Nothing outside the extraction folder is read: not a drawing, whose line
// says why, and not a model, which then owns no view.
TEST_F(AssociationRun, FilesOutsideTheExtractionFolderAreNotRead) {
  write(dir_ / "extraction" / "files" / "d" / "d3.bi", "(:sdsim-ami 1)\n(:drawing :number \"D3\")\n");
  write(dir_ / "secret" / "e.bi", "(:sdsim-ami 1)\n(:drawing :number \"E\" :views ((:owner \"S-P\")))\n");
  write(dir_ / "secret" / "o.sdp",
        "(:sdsim-model 1)\n(:model :sysid \"S-X\" :name \"o\" :contents (:file \"o.sdpc\"))\n");
  write(dir_ / "secret" / "o.sdpc", "(:sdsim-model 1)\n(:contents :id \"o\" :sysid \"C-O\" :name \"o\")\n");
  std::string text = read(list());
  text.insert(text.find('\n') + 1,
              "ME Drawing,e,1,,../../secret,e.bi\n"
              "ME Drawing,e2,1,,d,../../../secret/e.bi\n"
              "ME Component CAD Model,o,1,PN-Q,/../../secret,o.sdpc\n");
  write(list(), text);
  fs::create_directories(out().parent_path());
  EXPECT_EQ(run(), 3) << output();
  const std::string listed = read(out());
  EXPECT_NE(listed.find("e,1,,,\"Drawing file lies outside the extraction folder: ../../secret/e.bi\"\n"),
            std::string::npos)
      << listed;
  EXPECT_NE(
      listed.find("e2,1,,,\"Drawing file lies outside the extraction folder: d/../../../secret/e.bi\"\n"),
      std::string::npos)
      << listed;
  EXPECT_NE(listed.find("d1,1,,,\"1 of 3 viewset owners were not found in any 3d model!\"\n"),
            std::string::npos)
      << listed;
  EXPECT_EQ(listed.find("o,1"), std::string::npos) << listed;
  EXPECT_TRUE(told("The model file " + (dir_ / "secret" / "o.sdpc").string() +
                   " of o,1 lies outside the extraction folder and is not read."))
      << output();
}

}  // namespace
