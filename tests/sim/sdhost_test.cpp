// The built sdhost, run as a process: the module goes through dlopen and
// finds its home as an installed module does.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

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

TEST_F(Sdhost, WithoutAHomeNeverRunsTheWorkingDirectorysFilesAndKeepsTheConsole) {
  // The library alone, without vt_migrator/ beside its directory, started
  // where files of the module's names lie.
  fs::create_directories(dir_ / "lib");
  fs::create_directories(dir_ / "work");
  fs::copy_file(VTM_MODULE_PATH, dir_ / "lib" / "libvt_migrator.so");
  for (const char* name : {"vtm_resources.lsp", "vtm_customize.lsp"})
    std::ofstream(dir_ / "work" / name) << "(print \"ran from the working directory\")\n";
  vtm_test::sdhost_run how;
  how.cwd = dir_ / "work";
  result r = vtm_test::run_sdhost(
      {"--module", (dir_ / "lib" / "libvt_migrator.so").string(), "-e", "(list 1)"}, how);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "(1)\n");
  EXPECT_NE(r.err.find("The module resource file 'vtm_resources.lsp' is missing!"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("was looked for in " + (dir_ / "lib").string() + "/, " +
                       (dir_ / "vt_migrator").string() + "/, "),
            std::string::npos)
      << r.err;
}

// A module whose home is a copy of the installed one, to be changed.
fs::path module_with_home_copy(const fs::path& dir) {
  fs::create_directories(dir / "lib");
  fs::copy_file(VTM_MODULE_PATH, dir / "lib" / "libvt_migrator.so");
  fs::copy(fs::path(VTM_SOURCE_DIR) / "home", dir / "vt_migrator", fs::copy_options::recursive);
  return dir / "lib" / "libvt_migrator.so";
}

TEST_F(Sdhost, BrokenCustomizationFilesAreReportedAndTheRestKeepsWorking) {
  // A broken site file between a good corporate and a good user file: the
  // others load, the module works, the broken one is named with its line.
  for (const char* level : {"corp", "site", "user"}) fs::create_directories(dir_ / level / "VT_MIGRATOR");
  std::ofstream(dir_ / "corp" / "VT_MIGRATOR" / "customize.lsp")
      << "(in-package :vantrel-migrator)\n(defparameter *corp-loaded* t)\n";
  std::ofstream(dir_ / "site" / "VT_MIGRATOR" / "customize.lsp")
      << "(in-package :vantrel-migrator)\n\n(setq *user-interface-integration* :toolbox))\n";
  std::ofstream(dir_ / "user" / "VT_MIGRATOR" / "customize.lsp")
      << "(in-package :vantrel-migrator)\n(setq *user-interface-integration* :custom)\n";
  vtm_test::sdhost_run how;
  how.environment = {{"SDCORPCUSTOMIZEDIR", (dir_ / "corp").string()},
                     {"SDSITECUSTOMIZEDIR", (dir_ / "site").string()},
                     {"SDUSERCUSTOMIZEDIR", (dir_ / "user").string()}};
  result r = vtm_test::run_sdhost(
      {"-e", "vtm::*corp-loaded*", "-e", "vtm:*user-interface-integration*", "-e", "(vtm:activate-module)"},
      how);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string site = (dir_ / "site" / "VT_MIGRATOR" / "customize.lsp").string();
  EXPECT_EQ(r.out, "Error box: The customization file " + site + " could not be loaded: " + site +
                       ", line 3, column 45: unmatched close parenthesis\nT\n:CUSTOM\nT\n");

  // The module's own factory file broken: the host still runs its console,
  // with what the module defined before, and the batch fails.
  const fs::path library = module_with_home_copy(dir_ / "install");
  const fs::path factory = dir_ / "install" / "vt_migrator" / "vtm_customize.lsp";
  std::ofstream(factory, std::ios::app) << "(no-such-function 1)\n";
  r = vtm_test::run_sdhost(
      {"--module", library.string(), "-e", "(list 1)", "-e", "(vtm::get-resource :module-title)"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("failed to initialise: " + factory.string() + ", line "), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "(1)\n\"Vantrel Migrator\"\n");

  // A resource file saved in a Windows code page is named with the byte.
  fs::remove_all(dir_ / "install");
  module_with_home_copy(dir_ / "install");
  std::ofstream(dir_ / "install" / "vt_migrator" / "vtm_resources.lsp", std::ios::app)
      << "(vantrel-migrator::register-module-resource :x \"Caf\xe9\")\n";
  r = vtm_test::run_sdhost({"--module", library.string(), "-e", "(list 2)"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("vtm_resources.lsp, byte "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("the text is not valid UTF-8"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "(2)\n");
}

TEST_F(Sdhost, FollowsCommandLineConventions) {
  result r = run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "sdhost (vt_migrator 1.1.1)\n");
  for (const std::vector<std::string>& usage : {std::vector<std::string>{"--no-such-option"},
                                                {"-e"},
                                                {"-f", (dir_ / "missing.lsp").string()},
                                                {"--no-module", "--module", "x.so"}}) {
    r = run(usage);
    EXPECT_EQ(r.status, 2) << usage.front() << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
  }
  r = run({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* text : {"VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY", "VANTREL_MM_ASSISTED_CHECKIN",
                           "VANTREL_DRAWING_ASSOCIATOR :INPUT_CSV", "SDUSERCUSTOMIZEDIR",
                           "SDSITECUSTOMIZEDIR", "Exit statuses", "show dialog", "--stop-on-error"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text;

  const fs::path pb_pub = fs::path(VTM_SDHOST_PATH).parent_path() / "pb_pub";
  const auto status_of = [](const std::string& command) {
    const int s = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  };
  EXPECT_EQ(status_of(pb_pub.string() + " --version"), 0);
  EXPECT_EQ(status_of(pb_pub.string() + " --no-such-option"), 2);
  EXPECT_EQ(status_of(pb_pub.string() + " -S"), 2);

  // `help` lists what can be typed.
  r = run({"-e", "help"});
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* text : {"show TOPIC", "DIALOG", "VTM_SETTINGS", "VANTREL_MM_IMPORT_ASSEMBLER",
                           "vtm:ACTIVATE-MODULE", "sdsim:LIST-SESSION"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text << r.out;
}

TEST_F(Sdhost, StopOnErrorStopsABatchAtTheFirstFailingLine) {
  std::ofstream(dir_ / "script.lsp") << "(list 1)\n(error \"second\")\n(list 3)\n";
  result r =
      run({"--stop-on-error", "-e", "(list 0)", "-f", (dir_ / "script.lsp").string(), "-e", "(list 4)"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "(0)\n(1)\n");
  EXPECT_EQ(r.err, "Error: second\n");
  // Without it the batch goes on and still fails.
  r = run({"-f", (dir_ / "script.lsp").string(), "-e", "(list 4)"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "(1)\n(3)\n(4)\n");
  // A script that is not UTF-8 runs not at all.
  std::ofstream(dir_ / "latin1.lsp") << "(list 1)\n(list \"Caf\xe9\")\n";
  r = run({"-f", (dir_ / "latin1.lsp").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: " + (dir_ / "latin1.lsp").string() +
                       ", byte 19 (line 2): the text is not valid UTF-8; save the file as UTF-8\n");
}

TEST_F(Sdhost, ADialogLeftOpenAtTheEndOfABatchFailsAndCreatesNothing) {
  fs::create_directories(dir_ / "in");
  result r = run({"-e", "VANTREL_MM_IMPORT_ASSEMBLER :INPUT_DIRECTORY \"" + (dir_ / "in").string() +
                            "\" :STAGING_DIRECTORY \"" + (dir_ / "staging").string() + "\""});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the dialog VANTREL_MM_IMPORT_ASSEMBLER is still open at the end of the batch"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out, "");  // both directories were taken
  EXPECT_FALSE(fs::exists(dir_ / "staging"));
  // A staging directory that cannot be created is still refused when entered.
  std::ofstream(dir_ / "file") << "x";
  r = run({"-e",
           "VANTREL_MM_IMPORT_ASSEMBLER :STAGING_DIRECTORY \"" + (dir_ / "file" / "staging").string() + "\"",
           "-e", "cancel"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("Error box: The staging directory cannot be created."), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir_ / "file" / "staging"));
}

TEST_F(Sdhost, BuildsKeysAndRecordsOfAClusterInSessionFromLisp) {
  const std::string frame = std::string(VTM_SOURCE_DIR) + "/examples/stage1/input/assemblies/frame.pkg";
  result r =
      run({"-e", "(frame2-ui::universal_load :file \"" + frame + "\")", "-e",
           "(setq item (oli::sd-pathname-to-obj \"/frame\") c (oli::get-contents item))", "-e",
           "(vtm::cluster-metakey-plist (vtm::make-cluster-metakey c))", "-e",
           "(vtm::cluster-composite-key-plist (vtm::make-cluster-composite-key c))", "-e",
           "(vtm::cluster-composite-key-sysid (vtm::convert-meta-to-composite-key \"S-1\" "
           "(vtm::make-cluster-metakey c)))",
           "-e",
           "(equalp (vtm::convert-meta-to-composite-key c (vtm::make-cluster-metakey c)) "
           "(vtm::make-cluster-composite-key c))",
           "-e", "(setq loc (vtm::make-extended-location :prefix \"in/frame.pkg\" :selitem item))", "-e",
           "(vtm::instance-info-plist (vtm::make-instance-info :location loc :sourcepath \"frame.pkg\"))"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::vector<std::string> values;
  for (std::string line; std::getline(lines, line);) values.push_back(line);
  ASSERT_EQ(values.size(), 8u) << r.out;
  EXPECT_EQ(values[2], "(:MODEL-NAME \"frame\" :TIMESTAMP 3.913d9 :SYMBOLIC-VERSION NIL :SYMBOLIC-NAME NIL)");
  EXPECT_EQ(values[3],
            "(:SYSID \"C-FRAME\" :MODEL-NAME \"frame\" :TIMESTAMP 3.913d9 :SYMBOLIC-VERSION NIL "
            ":SYMBOLIC-NAME NIL)");
  EXPECT_EQ(values[4], "\"S-1\"");
  EXPECT_EQ(values[5], "T");
  EXPECT_TRUE(std::regex_match(
      values[7], std::regex("\\(:SYSID #<[^>]+> :TYPENAME \"nasmb3\" :FILENAME #P\"I-FRAME\\.sda\" "
                            ":CHILD-SYSIDS NIL :SOURCEPATH #P\"frame\\.pkg\" "
                            ":NAME \"in/frame\\.pkg/frame\" :CONTENTS-SYSID #<[^>]+>\\)")))
      << values[7];
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
