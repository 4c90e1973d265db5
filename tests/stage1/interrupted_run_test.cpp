// A staging run killed from outside at arbitrary moments, several times, and
// then run to its end, against a run of the same input that was never
// interrupted.
#include <random>
#include <regex>
#include <set>

#include "records/ami_drawing_records.h"
#include "records/change_records.h"
#include "records/component_records.h"
#include "stage1/staging_run_fixture.h"

namespace {

using namespace staging_run_test;

// The text with what differs between two equal runs made uniform: the
// fresh sysids the host draws and the staging directory's path.
std::string comparable(std::string text, const fs::path& staging) {
  static const std::regex fresh_sysid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  text = std::regex_replace(text, fresh_sysid, "<sysid>");
  for (std::size_t at; (at = text.find(staging.string())) != std::string::npos;)
    text.replace(at, staging.string().size(), "<staging>");
  return text;
}

std::set<std::string> files_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

void write_file(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// A part model file whose top-level instance has the given sysid.
std::string part_file(const std::string& sysid, const std::string& contents) {
  return "(:sdsim-model 1)\n(:contents :sysid \"" + contents + "\" :name \"" + contents +
         "\" :type \"part_struct\" :timestamp 3.88d9)\n(:model :sysid \"" + sysid + "\" :name \"" + sysid +
         "\" :contents \"" + contents + "\")\n";
}

std::size_t instance_records(const fs::path& staging) {
  auto components = vtm::records::make_component_records(staging);
  std::size_t n = 0;
  components.for_each_component_record([&](const vtm::records::component_record& r) {
    n += std::holds_alternative<vtm::records::instance_info>(r);
  });
  components.close_persistent_records();
  return n;
}

std::size_t instance_files(const fs::path& models) {
  std::size_t n = 0;
  for (const std::string& name : files_in(models)) n += !fs::path(name).extension().string().ends_with("c");
  return n;
}

TEST_F(StagingRun, KilledAtArbitraryMomentsThenRerunMatchesARunNeverInterrupted) {
  staging_ = dir_ / "reference";
  const vtm_test::sdhost_result reference = stage();
  ASSERT_EQ(reference.status, left_undone) << reference.out << reference.err;
  const std::map<std::string, cad_fileinfo> reference_files = toc();

  // Killed as a crash kills, at an event of the run chosen by chance: the
  // first or second model the run is about to save. A run that is not killed
  // finishes the staging, so every later run has less to do.
  staging_ = dir_ / "interrupted";
  std::mt19937 chance(20);
  int kills = 0;
  for (int i = 0; i < 20; ++i) {
    const int count = std::uniform_int_distribution<int>(1, 2)(chance);
    const vtm_test::sdhost_result r = sdhost({dialog()}, killed_on("3d: ", count));
    if (r.status == 128 + 9) ++kills;
  }
  EXPECT_GE(kills, 4) << "the runs ended before they could be killed";
  const vtm_test::sdhost_result last = stage();
  ASSERT_EQ(last.status, left_undone) << last.out << last.err;

  // Every record file opens, and every file is complete but those the host
  // was killed in while loading them.
  const std::map<std::string, cad_fileinfo> files = toc();
  auto components = vtm::records::make_component_records(staging());
  auto drawings = vtm::records::make_ami_drawing_records(staging());
  auto changes = vtm::records::make_change_records(staging());
  std::set<std::string> crashed;
  for (const std::string& name : example_files) {
    ASSERT_TRUE(files.contains(name)) << name;
    const cad_fileinfo& info = files.at(name);
    if (info.state == cad_file_state::loading) {
      crashed.insert(name);
      continue;
    }
    ASSERT_EQ(info.state, cad_file_state::complete) << name;
    const cad_fileinfo& expected = reference_files.at(name);
    EXPECT_EQ(info.load_method, expected.load_method) << name;
    ASSERT_EQ(info.models_3d.size(), expected.models_3d.size()) << name;
    for (std::size_t i = 0; i < info.models_3d.size(); ++i)
      EXPECT_EQ(info.models_3d[i].first, expected.models_3d[i].first) << name;
    EXPECT_EQ(info.drawing, expected.drawing) << name;
  }

  // The staged files are exactly those the records name, and no model is
  // staged twice.
  std::size_t models = 0;
  for (const auto& [name, info] : files) models += info.models_3d.size();
  EXPECT_EQ(instance_records(staging()), models);
  EXPECT_EQ(instance_files(staging() / "models"), models);
  std::set<std::string> named;
  components.for_each_component_record([&](const vtm::records::component_record& r) {
    named.insert(vtm::records::component_base(r).filename.string());
  });
  EXPECT_EQ(files_in(staging() / "models"), named);
  std::set<std::string> staged_drawings;
  for (const auto& [name, info] : drawings.drawings()) staged_drawings.insert(info.filename.string());
  if (fs::exists(staging() / "drawings.ami")) {
    EXPECT_EQ(files_in(staging() / "drawings.ami"), staged_drawings);
  }
  components.close_persistent_records();
  drawings.close_persistent_records();
  changes.close_persistent_records();

  if (crashed.empty()) {
    EXPECT_EQ(comparable(read(staging() / "analytics.lsp"), staging()),
              comparable(read(dir_ / "reference" / "analytics.lsp"), dir_ / "reference"));
    EXPECT_EQ(comparable(read(staging() / "report.htm"), staging()),
              comparable(read(dir_ / "reference" / "report.htm"), dir_ / "reference"));
  }

  // Over unchanged directories a further run loads nothing and rebuilds the
  // same analytics and report.
  const std::string analytics = read(staging() / "analytics.lsp"), report = read(staging() / "report.htm");
  const vtm_test::sdhost_result again = stage();
  ASSERT_EQ(again.status, left_undone) << again.out << again.err;
  EXPECT_EQ(again.out.find(" loaded with method "), std::string::npos) << again.out;
  EXPECT_EQ(read(staging() / "analytics.lsp"), analytics);
  EXPECT_EQ(read(staging() / "report.htm"), report);
}

// Several input directories staged into one staging directory: a top-level
// model of the second with the sysid of one staged from the first (same
// relative path, another input root) gets a new sysid and its own file.
TEST_F(StagingRun, TwoInputDirectoriesWithClashingTopLevelSysidsStageBothModels) {
  const fs::path site_a = dir_ / "site a", site_b = dir_ / "site b";
  write_file(site_a / "x" / "model.pkg", part_file("I-SAME", "C-A"));
  write_file(site_b / "x" / "model.pkg", part_file("I-SAME", "C-B"));
  const auto stage_from = [&](const fs::path& in) {
    return sdhost({"VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"" + in.string() +
                   "\" :STAGING_DIRECTORY \"" + staging().string() + "\" :DISPLAY_REPORT :OFF complete"});
  };
  ASSERT_EQ(stage_from(site_a).status, 0);
  const vtm_test::sdhost_result b = stage_from(site_b);
  ASSERT_EQ(b.status, 0) << b.out << b.err;
  EXPECT_NE(b.out.find("Scanning x/model.pkg"), std::string::npos) << b.out;

  auto records = vtm::records::make_cad_file_records(staging());
  const cad_fileinfo a_info = *records.filetable().find((site_a / "x" / "model.pkg").string());
  const cad_fileinfo b_info = *records.filetable().find((site_b / "x" / "model.pkg").string());
  records.close_persistent_records();
  ASSERT_EQ(a_info.models_3d.size(), 1u);
  ASSERT_EQ(b_info.models_3d.size(), 1u);
  EXPECT_EQ(a_info.models_3d.front().second, "models/I-SAME.sdp");
  EXPECT_NE(b_info.models_3d.front().second, a_info.models_3d.front().second);
  EXPECT_NE(read(staging() / a_info.models_3d.front().second).find("C-A"), std::string::npos)
      << "the first input's model was replaced";
  EXPECT_NE(read(staging() / b_info.models_3d.front().second).find("C-B"), std::string::npos);
  EXPECT_EQ(instance_records(staging()), 2u);
  EXPECT_NE(read(staging() / "changelog.lsp").find(":SYSID-CONFLICT"), std::string::npos);
  EXPECT_EQ(stage_from(site_b).out.find("loaded with method"), std::string::npos);
}

// The host dies while a file whose top-level model got a new sysid is being
// saved; the rerun redoes the file, which comes back once, under that sysid.
TEST_F(StagingRun, AFileKilledAfterItsModelGotANewSysidComesBackOnceUnderThatSysid) {
  fs::remove_all(input());
  write_file(input() / "a.pkg", part_file("I-SAME", "C-A"));
  write_file(input() / "b.pkg", part_file("I-SAME", "C-B"));
  const vtm_test::sdhost_result killed = sdhost({dialog()}, killed_on("3d: ", 2));
  ASSERT_EQ(killed.status, 128 + 9) << killed.out << killed.err;
  ASSERT_EQ(stage().status, 0);

  std::set<std::string> staged;
  for (const auto& [name, info] : toc()) {
    EXPECT_EQ(info.state, cad_file_state::complete) << name;
    ASSERT_EQ(info.models_3d.size(), 1u) << name;
    staged.insert(info.models_3d.front().second.string());
    EXPECT_TRUE(fs::exists(staging() / info.models_3d.front().second)) << name;
  }
  EXPECT_EQ(staged.size(), 2u);
  EXPECT_EQ(instance_records(staging()), 2u) << read(staging() / "components.lsp");
  EXPECT_EQ(instance_files(staging() / "models"), 2u);
}

}  // namespace
