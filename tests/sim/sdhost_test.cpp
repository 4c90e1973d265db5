// The built sdhost, run as a process: the module goes through dlopen and
// finds its home as an installed module does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/sdhost_process.h"

namespace {

namespace fs = std::filesystem;

class Sdhost : public testing::Test {
 protected:
  using result = vtm_test::sdhost_result;

  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("sdhost test " + std::to_string(::getpid()) + " " +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  result run(const std::vector<std::string>& arguments, const std::string& input = "") {
    vtm_test::sdhost_run how;
    how.input = input;
    return vtm_test::run_sdhost(arguments, how);
  }

  fs::path dir_;
};

TEST_F(Sdhost, PrintsTheManifestOfTheLoadedModule) {
  result r = run({"-e", "(vantrel-migrator::get-module-manifest)"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::regex_match(r.out, std::regex("\\(:MODULE-NAME \"vt_migrator\" :VERSION \"1\\.1\\.1\" "
                                                 ":BUILD-DATE \"[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}\" "
                                                 ":COPYRIGHT \"Copyright [^\"]+\"\\)\n")))
      << r.out;
  EXPECT_EQ(r.err, "");
}

TEST_F(Sdhost, KeepsTheFirstTextOfAKeyNamedTwice) {
  result r = run({"-e", "(vtm::register-module-resource :a \"x\" :a \"y\")", "-e", "(vtm::get-resource :a)"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "T\n\"x\"\n");
}

TEST_F(Sdhost, AFailingLineMakesTheExitStatusNonZero) {
  result r = run({"-e", "(vtm::get-resource \"a\")", "-e", "(list 2)"});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.out, "(2)\n");
  EXPECT_EQ(r.err, "Error: The value \"a\" is not of type KEYWORD.\n");
}

TEST_F(Sdhost, LoadsEveryUnitAndRegistersTheModule) {
  result r = run({"-e", "(sdsim:loaded-units)", "-e", "(sdsim:registered-modules)", "-e", "vtm::+home+"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string units, modules, home;
  std::getline(lines, units);
  std::getline(lines, modules);
  std::getline(lines, home);
  EXPECT_EQ(
      units,
      "(\"vtm_doctools\" \"vtm_core_config\" \"vtm_core\" \"vtm_config\" \"vtm_settings_dia\" \"vt_utils\" "
      "\"vt_model\" \"vt_filerecords\" \"vt_recordmanager\" \"vt_resolver\" \"vt_analytics\" \"vt_report\" "
      "\"vt_xhtml\" \"vt_query\" \"vt_in_session_records\" \"DrawingAssociator\" \"MMImportAssembler\" "
      "\"MMAssistedCheckin\" \"vtm\")");
  EXPECT_EQ(modules, "((\"VT_MIGRATOR\" \"1.1.1\" \"NIL\" \"*** Requested resource unvailable!\"))");
  // lib/ and vt_migrator/ side by side, as after an installation.
  EXPECT_TRUE(std::regex_match(home, std::regex("\\(:ABSOLUTE .*\"vt_migrator\"\\)"))) << home;
}

TEST_F(Sdhost, RunsScriptsAndLinesInCommandLineOrder) {
  std::ofstream(dir_ / "script.lsp") << "(list 2\n"
                                        "      3) ; two lines\n"
                                        "(frame2::put-buffer \"(list 5)\") (list 4)\n";
  result r = run({"-e", "(list 1)", "-f", (dir_ / "script.lsp").string(), "-e", "(list 6)"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "(1)\n(2 3)\nNIL\n(4)\n(5)\n(6)\n");
}

TEST_F(Sdhost, ReadsCommandLinesInteractively) {
  result r = run({}, "(list 1\n 2)\n(+ 1 2)\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "sdhost>    ...> (1 2)\nsdhost> 3\nsdhost> \n");
}

TEST_F(Sdhost, RunsWithoutAModule) {
  result r = run({"--no-module", "-e", "(find-package \"VANTREL-MIGRATOR\")"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "NIL\n");
}

TEST_F(Sdhost, StopsWhenTheModuleHasNoHome) {
  // The library alone, without vt_migrator/ beside its directory.
  fs::create_directories(dir_ / "lib");
  fs::copy_file(VTM_MODULE_PATH, dir_ / "lib" / "libvt_migrator.so");
  result r = run({"--module", (dir_ / "lib" / "libvt_migrator.so").string(), "-e", "(list 1)"});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("The module resource file 'vtm_resources.lsp' is missing!"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find((dir_ / "lib" / "libvt_migrator.so").string()), std::string::npos) << r.err;
}

TEST_F(Sdhost, NamesAModuleLibraryThatCannotBeLoaded) {
  std::ofstream(dir_ / "libbroken.so") << "not a library";
  result r = run({"--module", (dir_ / "libbroken.so").string(), "-e", "(list 1)"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("Cannot load the module library " + (dir_ / "libbroken.so").string() + ": "),
            std::string::npos)
      << r.err;
}

}  // namespace
