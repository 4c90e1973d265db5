// A staging run killed from outside at arbitrary moments, several times, and
// then run to its end, against a run of the same input that was never
// interrupted.
#include <chrono>
#include <regex>
#include <set>

#include "records/ami_drawing_records.h"
#include "records/change_records.h"
#include "records/component_records.h"
#include "stage1/staging_run_fixture.h"

namespace {

using namespace staging_run_test;
using namespace std::chrono;

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

TEST_F(StagingRun, KilledAtArbitraryMomentsThenRerunMatchesARunNeverInterrupted) {
  staging_ = dir_ / "reference";
  const auto start = steady_clock::now();
  const vtm_test::sdhost_result reference = stage();
  const auto whole = duration_cast<milliseconds>(steady_clock::now() - start);
  ASSERT_EQ(reference.status, 0) << reference.out << reference.err;
  const std::map<std::string, cad_fileinfo> reference_files = toc();

  staging_ = dir_ / "interrupted";
  int kills = 0;
  for (double share : {0.3, 0.55, 0.2, 0.8, 0.45}) {
    const vtm_test::sdhost_result r =
        sdhost({dialog()}, milliseconds(static_cast<long>(static_cast<double>(whole.count()) * share)));
    if (r.status == 128 + 9) ++kills;
  }
  EXPECT_GE(kills, 2) << "the runs ended before they could be killed";
  const vtm_test::sdhost_result last = stage();
  ASSERT_EQ(last.status, 0) << last.out << last.err;

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

  // The staged files are exactly those the records name.
  std::set<std::string> named;
  for (const auto& [sysid, record] : components.table())
    named.insert(vtm::records::component_base(record).filename.string());
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
  ASSERT_EQ(again.status, 0) << again.out << again.err;
  EXPECT_EQ(again.out.find(" loaded with method "), std::string::npos) << again.out;
  EXPECT_EQ(read(staging() / "analytics.lsp"), analytics);
  EXPECT_EQ(read(staging() / "report.htm"), report);
}

}  // namespace
