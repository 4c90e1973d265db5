// The Import Assembler run as a user runs it: the built sdhost on a copy of
// the bundled example input, from the console.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "records/cad_file_records.h"
#include "support/module_fixture.h"
#include "support/sdhost_process.h"

namespace staging_run_test {

namespace fs = std::filesystem;
namespace hl = host::lisp;
using vtm::records::cad_file_state;
using vtm::records::cad_fileinfo;
using vtm::records::cad_load_method;

inline std::string read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every file below dir with its content.
inline std::map<std::string, std::string> contents_below(const fs::path& dir) {
  std::map<std::string, std::string> out;
  if (!fs::exists(dir)) return out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) out[fs::relative(e.path(), dir).string()] = read(e.path());
  return out;
}

class StagingRun : public testing::Test {
 protected:
  void SetUp() override {
    vtm_test::load_module_once();
    dir_ = fs::temp_directory_path() / ("staging run " + std::to_string(::getpid()) + " " +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "cwd");
    fs::copy(fs::path(VTM_SOURCE_DIR) / "examples" / "stage1" / "input", input(),
             fs::copy_options::recursive);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path input() const { return dir_ / "legacy input"; }
  fs::path staging() const { return staging_.empty() ? dir_ / "staging área" : staging_; }

  // how: a kill event and variables of its own beside the test's.
  vtm_test::sdhost_result sdhost(const std::vector<std::string>& lines, vtm_test::sdhost_run how = {}) {
    std::vector<std::string> args;
    for (const std::string& l : lines) args.insert(args.end(), {"-e", l});
    how.cwd = dir_ / "cwd";
    how.environment.insert(how.environment.begin(), {{"SDUSERCUSTOMIZEDIR", (dir_ / "user").string()},
                                                     {"TMPDIR", dir_.string()},
                                                     {"SDCORPCUSTOMIZEDIR", ""},
                                                     {"SDSITECUSTOMIZEDIR", ""}});
    return vtm_test::run_sdhost(args, how);
  }
  std::string dialog(const std::string& options = ":DISPLAY_REPORT :OFF") {
    return "VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"" + input().string() + "\" :STAGING_DIRECTORY \"" +
           staging().string() + "\" " + options + " complete";
  }
  vtm_test::sdhost_result stage(const std::string& options = ":DISPLAY_REPORT :OFF",
                                vtm_test::sdhost_run how = {}) {
    return sdhost({dialog(options), "(sdsim:last-dialog-result)"}, std::move(how));
  }

  // The host ends itself with sig the moment its output shows text for the
  // count-th time: an event of the run, so it hits the same step on a loaded
  // machine as on an idle one.
  static vtm_test::sdhost_run killed_on(const std::string& text, int count = 1, int sig = 9) {
    vtm_test::sdhost_run how;
    how.environment = {{"SDSIM_KILL_ON", text},
                       {"SDSIM_KILL_ON_COUNT", std::to_string(count)},
                       {"SDSIM_KILL_SIGNAL", std::to_string(sig)}};
    return how;
  }

  // toc.lsp as a rerun reads it, by path relative to the input directory.
  std::map<std::string, cad_fileinfo> toc() {
    std::map<std::string, cad_fileinfo> out;
    auto records = vtm::records::make_cad_file_records(staging());
    for (const auto& [key, info] : records.filetable())
      out[info.path.path().lexically_relative(input()).string()] = info;
    records.close_persistent_records();
    return out;
  }
  std::string loaded_line(const std::string& relative, const std::string& method) const {
    return "File " + (input() / relative).string() + " loaded with method " + method + "\n";
  }

  fs::path dir_, staging_;
};

// The exit status of a run that completed with files left undone; the
// example input holds one that fails to load (legacy/broken.pkg).
inline constexpr int left_undone = 3;

inline const std::vector<std::string> example_files = {
    "assemblies/bracket.pkg",   "assemblies/frame.pkg", "assemblies/gearbox.bdl", "assemblies/twins.sd",
    "drawings/frame-front.ami", "drawings/sketch.mi",   "legacy/OLDPART",         "legacy/PUMP.XMIT",
    "legacy/broken.pkg",        "legacy/logwarn.pkg",   "legacy/old/LAYOUT2D",    "parts/plane.sdp",
    "parts/shaft.sdp"};

}  // namespace staging_run_test
