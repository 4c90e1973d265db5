// The assisted check-in as a user runs it: the built sdhost on a staging
// directory that stage 1 made from the bundled example input, with a
// Model Manager database of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/sdhost_process.h"

namespace assisted_checkin_test {

namespace fs = std::filesystem;

inline std::string read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class AssistedCheckIn : public testing::Test {
 protected:
  static fs::path suite_dir() {
    return fs::temp_directory_path() / ("assisted check-in " + std::to_string(::getpid()));
  }
  static fs::path example_staging() { return suite_dir() / "example staging"; }

  // A host of the run directory dir: its settings, temporary files and
  // database (dir/mm.sqlite) are dir's own.
  static vtm_test::sdhost_run host_of(const fs::path& dir) {
    vtm_test::sdhost_run how;
    fs::create_directories(dir / "cwd");
    how.cwd = dir / "cwd";
    how.environment = {{"SDUSERCUSTOMIZEDIR", (dir / "user").string()},
                       {"TMPDIR", dir.string()},
                       {"SDHOST_MM_DATABASE", (dir / "mm.sqlite").string()},
                       {"SDCORPCUSTOMIZEDIR", ""},
                       {"SDSITECUSTOMIZEDIR", ""}};
    return how;
  }

  static vtm_test::sdhost_result run(const fs::path& dir, const std::vector<std::string>& lines) {
    std::vector<std::string> args;
    for (const std::string& l : lines) args.insert(args.end(), {"-e", l});
    return vtm_test::run_sdhost(args, host_of(dir));
  }

  // Stage 1 once for all tests; each test checks in on its own copy.
  static void SetUpTestSuite() {
    fs::remove_all(suite_dir());
    const fs::path input = fs::path(VTM_SOURCE_DIR) / "examples" / "stage1" / "input";
    const vtm_test::sdhost_result r =
        run(suite_dir(),
            {"VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"" + input.string() + "\" :STAGING_DIRECTORY \"" +
             example_staging().string() + "\" :DISPLAY_REPORT :OFF complete"});
    if (!fs::exists(example_staging() / "analytics.lsp")) {
      ADD_FAILURE() << "stage 1 made no staging directory:\n" << r.out << r.err;
    }
  }
  static void TearDownTestSuite() { fs::remove_all(suite_dir()); }

  void SetUp() override {
    dir_ = suite_dir() / testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::copy(example_staging(), staging(), fs::copy_options::recursive);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }

  fs::path staging() const { return dir_ / "staging área"; }
  std::string analytics() const { return read(staging() / "analytics.lsp"); }

  vtm_test::sdhost_result sdhost(const std::vector<std::string>& lines) {
    vtm_test::sdhost_result r = run(dir_, lines);
    last_ = r.out;
    return r;
  }
  // Stores models in the database first.
  std::string seed(const std::string& text) {
    std::ofstream(dir_ / "seed.lsp") << text;
    return "(sdsim:mm-seed-database \"" + (dir_ / "seed.lsp").string() + "\")";
  }
  std::string open() const {
    return "VANTREL_MM_ASSISTED_CHECKIN :staging_directory \"" + staging().string() + "\"";
  }
  static std::string load(const std::string& staged) { return ":staged \"" + staged + "\""; }

  // The variable's line in the last "show dialog" of the output, e.g.
  //   CHECK_IN "Check-In" button [disabled]
  std::string state(const std::string& variable) const {
    const std::string key = "\n  " + variable + " \"";
    const std::size_t at = last_.rfind(key);
    if (at == std::string::npos) return "<no " + variable + " shown>";
    return last_.substr(at + 3, last_.find('\n', at + 1) - at - 3);
  }
  bool available(const std::string& variable) const {
    const std::string s = state(variable);
    return s.find("[disabled]") == std::string::npos && s.find("[hidden]") == std::string::npos;
  }
  bool hidden(const std::string& variable) const {
    return state(variable).find("[hidden]") != std::string::npos;
  }
  // The value shown for a variable: what follows " = " up to the next blank
  // or the end.
  std::string value(const std::string& variable) const {
    const std::string s = state(variable);
    const std::size_t eq = s.find(" = ");
    if (eq == std::string::npos) return "<no value>";
    const std::string rest = s.substr(eq + 3);
    if (!rest.empty() && rest[0] == '"') return rest.substr(0, rest.find('"', 1) + 1);
    return rest.substr(0, rest.find(' '));
  }
  // Statuses of analytics.lsp that name the staged file and carry the tag.
  int tagged(const std::string& staged, const std::string& tag) const {
    int n = 0;
    std::istringstream lines(analytics());
    for (std::string line; std::getline(lines, line);)
      if (line.find(":STAGED #P\"" + staged + "\"") != std::string::npos &&
          line.find(":TAGS (") != std::string::npos &&
          line.substr(line.find(":TAGS (")).find(tag) < line.substr(line.find(":TAGS (")).find(')'))
        ++n;
    return n;
  }
  static int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

  fs::path dir_;
  std::string last_;
};

inline constexpr const char* shaft = "models/I-SHAFT.sdp";
inline constexpr const char* gearbox = "models/I-GEARBOX.sda";
inline constexpr const char* frame = "models/I-FRAME.sda";
inline constexpr const char* twins = "models/I-TWINS.sda";
inline constexpr const char* frame_drawing = "drawings.ami/DRW-1000@frame-front.ami";

}  // namespace assisted_checkin_test
