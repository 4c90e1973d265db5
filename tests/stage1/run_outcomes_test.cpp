// What a staging run tells of the files it could not finish: a full disk,
// Ctrl-C and kills, unreadable input files, dangerous directory choices and
// a second run on the same staging directory. Each failure shows in the
// record, the report, the analytics and the exit status, and a rerun
// repairs what can be repaired.
#include <utf8.h>

#include <csignal>

#include "analytics/file_outcome.h"
#include "core/file_lock.h"
#include "host/xml.h"
#include "stage1/staging_run_fixture.h"

namespace {

using namespace staging_run_test;
using vtm::analytics::cad_file_outcome;
using vtm::analytics::classify_cad_file;

void write_file(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

std::string part_file(const std::string& sysid, const std::string& contents, const std::string& before = "") {
  return "(:sdsim-model 1)\n" + before + "(:contents :sysid \"" + contents + "\" :name \"" + contents +
         "\" :type \"part_struct\" :timestamp 3.88d9)\n(:model :sysid \"" + sysid + "\" :name \"" + sysid +
         "\" :contents \"" + contents + "\")\n";
}

TEST_F(StagingRun, AModelThatCannotBeSavedIsAnErrorOfItsFileAndTheRerunStagesIt) {
  vtm_test::sdhost_run full_disk;
  full_disk.environment = {{"SDSIM_DISK_SPACE", "600"}};
  const vtm_test::sdhost_result r = stage(":DISPLAY_REPORT :OFF", full_disk);
  ASSERT_EQ(r.status, left_undone) << r.out << r.err;
  EXPECT_NE(r.out.find("was not saved: "), std::string::npos) << r.out;

  std::map<std::string, cad_fileinfo> files = toc();
  int unsaved = 0;
  for (const auto& [name, info] : files) {
    for (const auto& [instance, staged] : info.models_3d)
      EXPECT_TRUE(fs::exists(staging() / staged)) << name << " lists " << staged.string();
    if (classify_cad_file(info) != cad_file_outcome::save_failed) continue;
    ++unsaved;
    EXPECT_EQ(info.state, cad_file_state::complete) << name;
    EXPECT_NE(vtm::analytics::cad_file_outcome_message(info).find("No space left on device"),
              std::string::npos)
        << name;
  }
  EXPECT_GT(unsaved, 0);
  // Nothing cut short and nothing half-written left beside: every staged file is whole.
  for (const auto& [name, text] : contents_below(staging() / "models")) {
    EXPECT_FALSE(name.ends_with(".saving")) << name;
    EXPECT_TRUE(text.ends_with(")\n")) << name << " is cut short";
  }
  EXPECT_NE(read(staging() / "report.htm").find("save-failed: "), std::string::npos);
  EXPECT_NE(read(staging() / "analytics.lsp").find(":SAVE-FAILED"), std::string::npos);

  // Room again: the rerun stages exactly those files again, and nothing twice.
  const vtm_test::sdhost_result again = stage();
  ASSERT_EQ(again.status, left_undone) << again.out << again.err;
  files = toc();
  std::size_t models = 0;
  for (const auto& [name, info] : files) {
    EXPECT_NE(classify_cad_file(info), cad_file_outcome::save_failed) << name;
    for (const auto& [instance, staged] : info.models_3d) {
      ++models;
      EXPECT_TRUE(fs::exists(staging() / staged)) << name << " lists " << staged.string();
    }
  }
  EXPECT_EQ(models, 9u);
  std::size_t instance_files = 0;
  for (const auto& [name, text] : contents_below(staging() / "models"))
    if (!fs::path(name).extension().string().ends_with("c")) ++instance_files;
  EXPECT_EQ(instance_files, models) << "a model was staged twice";
  EXPECT_EQ(read(staging() / "analytics.lsp").find(":SAVE-FAILED"), std::string::npos);

  // An unwritable models directory is a failed save as well.
  fs::remove_all(staging());
  fs::create_directories(staging());
  write_file(staging() / "models", "in the way");
  EXPECT_EQ(stage().status, left_undone);
  EXPECT_EQ(classify_cad_file(toc().at("assemblies/frame.pkg")), cad_file_outcome::save_failed);
}

TEST_F(StagingRun, AnInterruptFinishesTheLoadAndLeavesTheFileToTheNextRun) {
  // Ctrl-C in the middle of a load.
  write_file(input() / "parts" / "ctrl-c.pkg", part_file("I-CTRL-C", "C-CTRL-C", "(:signal :sigint)\n"));
  const vtm_test::sdhost_result r = stage();
  EXPECT_EQ(r.status, 128 + SIGINT) << r.out << r.err;
  EXPECT_NE(r.out.find("The staging run was interrupted"), std::string::npos) << r.out;
  std::map<std::string, cad_fileinfo> files = toc();
  EXPECT_EQ(files.at("parts/ctrl-c.pkg").state, cad_file_state::processing);
  EXPECT_EQ(classify_cad_file(files.at("parts/ctrl-c.pkg")), cad_file_outcome::unfinished);
  EXPECT_FALSE(fs::exists(staging() / "report.htm"));

  write_file(input() / "parts" / "ctrl-c.pkg", part_file("I-CTRL-C", "C-CTRL-C"));
  ASSERT_EQ(stage().status, left_undone);
  files = toc();
  EXPECT_EQ(files.at("parts/ctrl-c.pkg").state, cad_file_state::complete);
  ASSERT_EQ(files.at("parts/ctrl-c.pkg").models_3d.size(), 1u);
  EXPECT_TRUE(fs::exists(staging() / files.at("parts/ctrl-c.pkg").models_3d.front().second));

  // SIGTERM and SIGHUP the moment a file has been loaded: no file is left as
  // if it had crashed the host.
  fs::remove_all(staging());
  for (int sig : {SIGTERM, SIGHUP}) {
    const vtm_test::sdhost_result stopped =
        stage(":DISPLAY_REPORT :OFF", killed_on(" loaded with method ", sig == SIGTERM ? 2 : 5, sig));
    EXPECT_EQ(stopped.status, 128 + sig) << stopped.out << stopped.err;
    for (const auto& [name, info] : toc()) EXPECT_NE(info.state, cad_file_state::loading) << name;
  }
  ASSERT_EQ(stage().status, left_undone);
  for (const auto& [name, info] : toc()) EXPECT_EQ(info.state, cad_file_state::complete) << name;
}

TEST_F(StagingRun, UnreadableFilesAreRecordedWithTheReasonAndDoNotStopTheRun) {
  fs::create_symlink(input() / "nowhere.pkg", input() / "parts" / "dangling.pkg");
  fs::create_symlink(input() / "parts" / "loop-b.pkg", input() / "parts" / "loop-a.pkg");
  fs::create_symlink(input() / "parts" / "loop-a.pkg", input() / "parts" / "loop-b.pkg");
  const vtm_test::sdhost_result r = stage();
  ASSERT_EQ(r.status, left_undone) << r.out << r.err;
  std::map<std::string, cad_fileinfo> files = toc();
  for (const char* name : {"parts/dangling.pkg", "parts/loop-a.pkg", "parts/loop-b.pkg"}) {
    ASSERT_TRUE(files.contains(name)) << name;
    EXPECT_EQ(files.at(name).state, cad_file_state::complete) << name;
    EXPECT_EQ(classify_cad_file(files.at(name)), cad_file_outcome::load_failed) << name;
  }
  EXPECT_EQ(files.at("parts/shaft.sdp").state, cad_file_state::complete);
  const vtm_test::sdhost_result again = stage();
  EXPECT_EQ(again.status, left_undone) << again.out << again.err;
  EXPECT_EQ(again.out.find("loaded with method"), std::string::npos) << again.out;
  EXPECT_EQ(again.out.find("Cannot read"), std::string::npos) << again.out;
}

// Names from old file servers: a Latin-1 byte, a control character, and two
// names that differ only in their Latin-1 byte.
TEST_F(StagingRun, OddFileNamesGiveValidUtf8RecordsAWellFormedReportAndNoRestaging) {
  write_file(input() / "parts" /
                 "pi\xe8"
                 "ce.sdp",
             part_file("I-LATIN", "C-LATIN"));
  write_file(input() / "parts" /
                 "pi\xe9"
                 "ce.sdp",
             part_file("I-LATIN2", "C-LATIN2"));
  write_file(input() / "parts" / "bell\x07.sdp", part_file("I-BELL", "C-BELL"));
  write_file(input() / "drawings" /
                 "pi\xe8"
                 "ce.mi",
             read(input() / "drawings" / "sketch.mi"));
  // Files are taken in reverse listing order: the second keeps the name.
  const std::string clash = "Not staged: " + (input() / "parts" / "pi\\xE8ce.sdp").string() +
                            " has the same name in the records as " +
                            (input() / "parts" / "pi\\xE9ce.sdp").string();
  const vtm_test::sdhost_result first = stage();
  ASSERT_EQ(first.status, left_undone);
  EXPECT_NE(first.out.find(clash), std::string::npos) << first.out;
  for (const char* f :
       {"toc.lsp", "components.lsp", "changelog.lsp", "ami-drawings.lsp", "analytics.lsp", "report.htm"}) {
    const std::string text = read(staging() / f);
    EXPECT_EQ(utf8::find_invalid(text.begin(), text.end()), text.end()) << f;
  }
  EXPECT_FALSE(hl::is_nil(host::oli::sd_xml_read_file((staging() / "report.htm").string())))
      << read(staging() / "report.htm");
  const std::map<std::string, cad_fileinfo> files = toc();
  ASSERT_TRUE(files.contains("parts/pi\ufffdce.sdp"));
  ASSERT_EQ(files.at("parts/pi\ufffdce.sdp").models_3d.size(), 1u);
  EXPECT_EQ(files.at("parts/pi\ufffdce.sdp").models_3d.front().first, "I-LATIN2");
  EXPECT_EQ(files.at("drawings/pi\ufffdce.mi").drawing, "drawings.mi/pi\ufffdce.mi");
  EXPECT_TRUE(fs::exists(staging() / "drawings.mi" / "pi\ufffdce.mi"));
  EXPECT_EQ(files.at("parts/bell\x07.sdp").state, cad_file_state::complete);

  const vtm_test::sdhost_result again = stage();
  EXPECT_EQ(again.status, left_undone);
  EXPECT_EQ(again.out.find("loaded with method"), std::string::npos) << again.out;
  EXPECT_NE(again.out.find(clash), std::string::npos) << again.out;

  // Renamed, the file set aside is staged under its own name.
  fs::rename(input() / "parts" /
                 "pi\xe9"
                 "ce.sdp",
             input() / "parts" / "pi\u00e9ce.sdp");
  const vtm_test::sdhost_result renamed = stage();
  EXPECT_EQ(renamed.out.find("Not staged: "), std::string::npos) << renamed.out;
  const cad_fileinfo staged = toc().at("parts/pi\u00e9ce.sdp");
  ASSERT_EQ(staged.models_3d.size(), 1u);
  EXPECT_EQ(staged.models_3d.front().first, "I-LATIN2");
}

TEST_F(StagingRun, DangerousDirectoryChoicesAreRefusedWithPathAndReason) {
  staging_ = input();
  vtm_test::sdhost_result r = stage();
  EXPECT_NE((r.out + r.err).find("The staging directory " + input().string() + " is the input directory."),
            std::string::npos)
      << r.out << r.err;
  EXPECT_FALSE(fs::exists(input() / "toc.lsp"));

  staging_ = dir_;
  r = stage();
  EXPECT_NE((r.out + r.err).find("contains the input directory " + input().string()), std::string::npos)
      << r.out << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "toc.lsp"));

  staging_.clear();
  r = sdhost({"VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"" + (dir_ / "nowhere").string() + "\""});
  EXPECT_NE(r.out.find("The input directory does not exist.\n" + (dir_ / "nowhere").string() +
                       ": No such file or directory"),
            std::string::npos)
      << r.out << r.err;
  write_file(dir_ / "a file", "");
  r = sdhost(
      {"VANTREL_MM_IMPORT_ASSEMBLER :STAGING_DIRECTORY \"" + (dir_ / "a file" / "staging").string() + "\""});
  EXPECT_NE(r.out.find("The staging directory cannot be created.\n" + (dir_ / "a file" / "staging").string() +
                       ": "),
            std::string::npos)
      << r.out << r.err;
}

TEST_F(StagingRun, ASecondRunOnALockedStagingDirectoryIsRefusedAtOnce) {
  fs::create_directories(staging());
  vtm::core::file_lock held;
  ASSERT_TRUE(held.try_lock(staging() / "staging.lock"));
  const vtm_test::sdhost_result r = stage();
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE((r.out + r.err)
                .find("The staging directory " + staging().string() + " is in use by process " +
                      std::to_string(::getpid()) + "."),
            std::string::npos)
      << r.out << r.err;
  EXPECT_FALSE(fs::exists(staging() / "toc.lsp"));
  held.unlock();
  EXPECT_EQ(stage().status, left_undone);
}

}  // namespace
