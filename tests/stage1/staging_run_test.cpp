// The Import Assembler as a user runs it: the built sdhost on a copy of the
// bundled example input, from the console, including a host that dies while
// it loads a file.
#include <fstream>
#include <regex>

#include "host/lisp/printer.h"
#include "stage1/staging_run_fixture.h"

namespace {

using namespace staging_run_test;

TEST_F(StagingRun, StagesEveryExampleFileAndRecordsHowItWent) {
  const vtm_test::sdhost_result r = stage();
  ASSERT_EQ(r.status, left_undone) << r.out << r.err;
  EXPECT_TRUE(r.out.ends_with("NIL\n")) << r.out;
  EXPECT_EQ(r.out.find("Display URL"), std::string::npos);
  EXPECT_EQ(r.out.find("Warning: The file 'log'"), std::string::npos) << "the warning was not intercepted";
  EXPECT_TRUE(std::regex_search(
      r.err, std::regex("Staging: 13/13 \\(100%\\) [0-9.]+/(s|min), elapsed [0-9]+:[0-9]{2}:[0-9]{2}, "
                        "about [0-9:]+ left; parts/plane.sdp\n")))
      << r.err;

  const std::map<std::string, cad_fileinfo> files = toc();
  std::vector<std::string> recorded;
  for (const auto& [name, info] : files) {
    recorded.push_back(name);
    EXPECT_EQ(info.state, cad_file_state::complete) << name;
  }
  EXPECT_EQ(recorded, example_files);

  const std::map<std::string, cad_load_method> methods = {{"legacy/OLDPART", cad_load_method::sd},
                                                          {"legacy/PUMP.XMIT", cad_load_method::me30},
                                                          {"legacy/old/LAYOUT2D", cad_load_method::mi},
                                                          {"drawings/sketch.mi", cad_load_method::mi},
                                                          {"assemblies/gearbox.bdl", cad_load_method::sd}};
  for (const auto& [name, method] : methods) {
    EXPECT_EQ(files.at(name).load_method, method) << name;
    EXPECT_NE(
        r.out.find(loaded_line(name, hl::as_symbol(vtm::core::lisp_value<cad_load_method>::to(method)).name)),
        std::string::npos)
        << name << "\n"
        << r.out;
  }
  EXPECT_NE(hl::princ_to_string(files.at("legacy/broken.pkg").error_status.value).find("truncated"),
            std::string::npos);
  EXPECT_TRUE(files.at("legacy/broken.pkg").models_3d.empty());

  // Models: one file per component, named by sysid; each recorded model exists.
  std::size_t models = 0;
  for (const auto& [name, info] : files)
    for (const auto& [instance, staged] : info.models_3d) {
      ++models;
      EXPECT_TRUE(fs::exists(staging() / staged)) << name << ": " << staged.string();
      EXPECT_EQ(staged.path().parent_path(), "models") << staged.string();
    }
  EXPECT_EQ(models, 9u);
  EXPECT_EQ(files.at("assemblies/frame.pkg").models_3d.front().first, "frame");
  EXPECT_EQ(files.at("assemblies/frame.pkg").models_3d.front().second, "models/I-FRAME.sda");
  EXPECT_EQ(files.at("parts/plane.sdp").models_3d.front().second, "models/I-PLANE.sdw");
  EXPECT_TRUE(fs::exists(staging() / "models" / "C-BOLT-M8.sdpc"));
  EXPECT_NE(r.out.find("3d: /frame -> " + (staging() / "models").string() + "/\n"), std::string::npos)
      << r.out;

  // Drawings: annotation ones by number and source, plain ones by source.
  EXPECT_EQ(files.at("drawings/frame-front.ami").drawing, "drawings.ami/DRW-1000@frame-front.ami");
  EXPECT_EQ(files.at("assemblies/bracket.pkg").drawing, "drawings.ami/DRW-2001@bracket.ami");
  EXPECT_EQ(files.at("drawings/sketch.mi").drawing, "drawings.mi/sketch.mi");
  EXPECT_EQ(files.at("legacy/old/LAYOUT2D").drawing, "drawings.mi/LAYOUT2D.mi");
  EXPECT_EQ(read(staging() / "drawings.ami" / "DRW-1000@frame-front.ami"),
            read(input() / "drawings" / "frame-front.ami"));
  const std::string drawings = read(staging() / "ami-drawings.lsp");
  EXPECT_NE(drawings.find("\"DRW-1000@frame-front.ami\""), std::string::npos) << drawings;
  EXPECT_NE(drawings.find("\"DRW-2001@bracket.ami\""), std::string::npos) << drawings;

  EXPECT_NE(read(staging() / "components.lsp").find("\"I-FRAME\""), std::string::npos);
  EXPECT_TRUE(fs::exists(staging() / "analytics.lsp"));
  EXPECT_NE(read(staging() / "report.htm").find("legacy/OLDPART"), std::string::npos);
}

TEST_F(StagingRun, ASecondRunLoadsNothingAndRebuildsTheReport) {
  ASSERT_EQ(stage().status, left_undone);
  const std::string toc_before = read(staging() / "toc.lsp");
  const auto models_before = contents_below(staging() / "models");
  fs::remove(staging() / "report.htm");
  fs::remove(staging() / "analytics.lsp");

  const vtm_test::sdhost_result r = stage();
  ASSERT_EQ(r.status, left_undone) << r.err;
  EXPECT_EQ(r.out.find("loaded with method"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("3d: "), std::string::npos) << r.out;
  EXPECT_EQ(read(staging() / "toc.lsp"), toc_before);
  EXPECT_EQ(contents_below(staging() / "models"), models_before);
  EXPECT_NE(read(staging() / "report.htm").find("legacy/OLDPART"), std::string::npos);
  EXPECT_TRUE(fs::exists(staging() / "analytics.lsp"));

  // Outputs that show the records already are left as they are, and the
  // summary still comes from them; one changed since is written again.
  const std::vector<fs::path> outputs{staging() / "report.htm", staging() / "analytics.lsp",
                                      staging() / "status.json", staging() / "overview.html"};
  std::vector<fs::file_time_type> written;
  for (const fs::path& f : outputs) written.push_back(fs::last_write_time(f));
  const vtm_test::sdhost_result again = stage();
  ASSERT_EQ(again.status, left_undone) << again.err;
  for (std::size_t i = 0; i < outputs.size(); ++i)
    EXPECT_EQ(fs::last_write_time(outputs[i]), written[i]) << outputs[i];
  EXPECT_NE(again.out.find("This run: 0 files processed."), std::string::npos) << again.out;
  EXPECT_NE(again.out.find("failed to load"), std::string::npos) << again.out;
  // The summary noted with the stamp is what such a run prints; a stamp
  // whose summary is cut short makes the run write the outputs again.
  std::string stamp = read(staging() / "outputs.stamp");
  ASSERT_NE(stamp.find("\nsummary {"), std::string::npos) << stamp;
  stamp.resize(stamp.size() - 10);
  std::ofstream(staging() / "outputs.stamp", std::ios::trunc) << stamp;
  ASSERT_EQ(stage().status, left_undone);
  EXPECT_NE(fs::last_write_time(staging() / "report.htm"), written[0]);
  std::ofstream(staging() / "status.json") << "{}";
  ASSERT_EQ(stage().status, left_undone);
  EXPECT_NE(read(staging() / "status.json").find("\"written-by\": \"stage-1\""), std::string::npos);
}

TEST_F(StagingRun, AStagingDirectoryInsideTheInputIsNoInput) {
  staging_ = input() / "staged";
  ASSERT_EQ(stage().status, left_undone);
  const vtm_test::sdhost_result again = stage();
  ASSERT_EQ(again.status, left_undone) << again.err;
  EXPECT_EQ(again.out.find("loaded with method"), std::string::npos) << again.out;
  std::vector<std::string> recorded;
  for (const auto& [name, info] : toc()) recorded.push_back(name);
  EXPECT_EQ(recorded, example_files);
}

TEST_F(StagingRun, AnEmptyInputGivesEmptyRecordFilesAndStillAReportItShows) {
  fs::remove_all(input());
  fs::create_directories(input());
  const vtm_test::sdhost_result r = stage("");  // display_report on, as typed
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* f : {"toc.lsp", "components.lsp", "ami-drawings.lsp", "changelog.lsp"}) {
    EXPECT_TRUE(fs::exists(staging() / f)) << f;
    EXPECT_EQ(read(staging() / f), "") << f;
  }
  EXPECT_TRUE(contents_below(staging() / "models").empty());
  EXPECT_TRUE(fs::exists(staging() / "analytics.lsp"));
  EXPECT_TRUE(fs::exists(staging() / "report.htm"));
  EXPECT_NE(r.out.find("Display URL: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("report.htm"), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("T\n")) << r.out;
}

TEST_F(StagingRun, ResumesFromTheRecordedStatesOfAnEarlierRun) {
  fs::create_directories(staging());
  {
    auto records = vtm::records::make_cad_file_records(staging());
    cad_fileinfo crashed = vtm::records::make_cad_fileinfo(input() / "assemblies" / "frame.pkg");
    records.update_cad_file_records(crashed);  // (:loading ...)
    cad_fileinfo unfinished = vtm::records::make_cad_fileinfo(input() / "legacy" / "OLDPART");
    records.update_cad_file_records(unfinished);
    records.update_cad_file_records(unfinished);  // (:processing ...)
    records.close_persistent_records();
  }
  const vtm_test::sdhost_result r = stage();
  ASSERT_EQ(r.status, left_undone) << r.err;
  EXPECT_EQ(r.out.find("frame.pkg loaded"), std::string::npos)
      << "a file that crashed the host was loaded again";
  EXPECT_NE(r.out.find(loaded_line("legacy/OLDPART", "SD")), std::string::npos) << r.out;
  const std::map<std::string, cad_fileinfo> files = toc();
  EXPECT_EQ(files.at("assemblies/frame.pkg").state, cad_file_state::loading);
  EXPECT_TRUE(files.at("assemblies/frame.pkg").models_3d.empty());
  EXPECT_EQ(files.at("legacy/OLDPART").state, cad_file_state::complete);
  EXPECT_EQ(files.at("legacy/OLDPART").models_3d.size(), 1u);
  EXPECT_EQ(files.at("parts/shaft.sdp").state, cad_file_state::complete);
}

// The point of the state entries: the host dies while loading a file; the
// rerun finishes every other file, leaves that one as loading and keeps
// everything the first run completed as it was.
TEST_F(StagingRun, AHostCrashWhileLoadingIsResumedWithoutLosingOrRewritingWork) {
  fs::copy(fs::path(VTM_SOURCE_DIR) / "examples" / "stage1" / "crash" / "crash.pkg", input() / "legacy");
  const vtm_test::sdhost_result crashed = stage();
  ASSERT_EQ(crashed.status, 128 + 9) << crashed.out << crashed.err;
  std::map<std::string, cad_fileinfo> files = toc();
  ASSERT_EQ(files.at("legacy/crash.pkg").state, cad_file_state::loading);
  std::vector<std::string> complete_before;
  for (const auto& [name, info] : files)
    if (info.state == cad_file_state::complete) complete_before.push_back(name);
  ASSERT_FALSE(complete_before.empty());
  ASSERT_LT(complete_before.size(), example_files.size()) << "the crash came after every file";
  EXPECT_FALSE(fs::exists(staging() / "report.htm"));
  const std::string toc_before = read(staging() / "toc.lsp");
  const std::string components_before = read(staging() / "components.lsp");
  const std::string drawings_before = read(staging() / "ami-drawings.lsp");
  const auto staged_before = contents_below(staging() / "models");
  std::map<std::string, fs::file_time_type> times_before;
  for (const auto& [name, text] : staged_before)
    times_before[name] = fs::last_write_time(staging() / "models" / name);

  const vtm_test::sdhost_result resumed = stage();
  ASSERT_EQ(resumed.status, left_undone) << resumed.out << resumed.err;
  EXPECT_EQ(resumed.out.find("crash.pkg loaded"), std::string::npos);
  for (const std::string& name : complete_before)
    EXPECT_EQ(resumed.out.find("File " + (input() / name).string() + " loaded"), std::string::npos)
        << name << " was loaded again";
  files = toc();
  for (const std::string& name : example_files)
    EXPECT_EQ(files.at(name).state, cad_file_state::complete) << name;
  EXPECT_EQ(files.at("legacy/crash.pkg").state, cad_file_state::loading);

  EXPECT_EQ(read(staging() / "toc.lsp").substr(0, toc_before.size()), toc_before);
  EXPECT_EQ(read(staging() / "components.lsp").substr(0, components_before.size()), components_before);
  EXPECT_EQ(read(staging() / "ami-drawings.lsp").substr(0, drawings_before.size()), drawings_before);
  const auto staged_after = contents_below(staging() / "models");
  for (const auto& [name, text] : staged_before) {
    ASSERT_TRUE(staged_after.contains(name)) << name << " was lost";
    EXPECT_EQ(staged_after.at(name), text) << name;
    EXPECT_EQ(fs::last_write_time(staging() / "models" / name), times_before[name])
        << name << " was rewritten";
  }
  EXPECT_NE(read(staging() / "report.htm").find("legacy/crash.pkg"), std::string::npos);
}

TEST_F(StagingRun, AnErrorOutsideTheHostCommandsEndsTheRunAndTheRerunRetriesTheFile) {
  fs::create_directories(staging());
  std::ofstream(staging() / "drawings.ami") << "in the way";
  const vtm_test::sdhost_result stopped = stage();
  EXPECT_NE(stopped.status, 0);
  EXPECT_NE(
      stopped.out.find("The staging run stopped at " + (input() / "assemblies" / "bracket.pkg").string()),
      std::string::npos)
      << stopped.out;
  EXPECT_FALSE(fs::exists(staging() / "report.htm"));
  EXPECT_FALSE(fs::exists(staging() / "analytics.lsp"));
  std::map<std::string, cad_fileinfo> files = toc();
  EXPECT_EQ(files.at("assemblies/bracket.pkg").state, cad_file_state::processing);
  EXPECT_EQ(files.at("assemblies/frame.pkg").state, cad_file_state::complete);
  EXPECT_FALSE(files.contains("drawings/frame-front.ami"));

  fs::remove(staging() / "drawings.ami");
  ASSERT_EQ(stage().status, left_undone);
  files = toc();
  EXPECT_EQ(files.at("assemblies/bracket.pkg").state, cad_file_state::complete);
  EXPECT_EQ(files.at("assemblies/bracket.pkg").drawing, "drawings.ami/DRW-2001@bracket.ami");
  EXPECT_EQ(files.at("drawings/frame-front.ami").state, cad_file_state::complete);
  EXPECT_TRUE(fs::exists(staging() / "report.htm"));
}

TEST_F(StagingRun, CancelReturnsTheSessionToWhereTheDialogStarted) {
  const std::string model = (input() / "parts" / "plane.sdp").string();
  // A form in the dialog's input runs while the dialog is open.
  const vtm_test::sdhost_result r = sdhost(
      {"(frame2-ui::universal_load :file \"" + model + "\")", "VANTREL_MM_IMPORT_ASSEMBLER :CHECK :OFF",
       ":INPUT_DIRECTORY (progn (elan::delete_3d :all_at_top) (format t \"left: ~A~%\" "
       "(sdsim:list-session)) \"" +
           input().string() + "\")",
       "cancel", "(sdsim:list-session)", "(sdsim:last-dialog-result)"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_NE(r.out.find("left: 0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("/sketch plane  nwp I-PLANE", r.out.find("left: 0")), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("\"Cancel\"\n")) << r.out;
  EXPECT_FALSE(fs::exists(staging()));
}

TEST_F(StagingRun, RefusesAMissingInputDirectoryAndNeedsAnnotation) {
  vtm_test::sdhost_result r =
      sdhost({"VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"" + (dir_ / "nowhere").string() + "\"",
              "(sdsim:active-dialog)"});
  EXPECT_NE(r.out.find("Error box: The input directory does not exist."), std::string::npos)
      << r.out << r.err;
  r = sdhost({"(oli::sd-deactivate-module \"ANNOTATION\")", dialog()});
  EXPECT_NE(r.status, 0);
  EXPECT_NE((r.out + r.err).find("ANNOTATION"), std::string::npos) << r.out << r.err;
  EXPECT_FALSE(fs::exists(staging() / "toc.lsp"));
}

}  // namespace
