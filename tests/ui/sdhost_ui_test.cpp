// The built sdhost as a user runs it: activation, the ribbon, the settings
// dialog from the command line, customization and the persisted record.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/sdhost_process.h"

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class SdhostUi : public testing::Test {
 protected:
  using result = vtm_test::sdhost_result;

  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("sdhost ui test " + std::to_string(::getpid()) + " " +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(user_dir());
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path user_dir() const { return dir_ / "user settings"; }

  void customize(const std::string& text) {
    fs::create_directories(user_dir() / "VT_MIGRATOR");
    std::ofstream(user_dir() / "VT_MIGRATOR" / "customize.lsp") << text;
  }

  // debug switches the host's debug mode on.
  result run(const std::vector<std::string>& arguments, bool debug = false) {
    vtm_test::sdhost_run how;
    how.environment = {{"SDUSERCUSTOMIZEDIR", user_dir().string()},
                       {"SDCORPCUSTOMIZEDIR", ""},
                       {"SDSITECUSTOMIZEDIR", ""},
                       {"SDHOST_DEBUG", debug ? "1" : ""}};
    return vtm_test::run_sdhost(arguments, how);
  }

  std::string record() { return read_file(user_dir() / "persistent_data.lsp"); }

  fs::path dir_;
};

std::string triplet(const std::string& command) {
  return "(\"VT_MIGRATOR\" \"SDEXTENSION\" \"VT_MIGRATOR-" + command + "\")";
}

TEST_F(SdhostUi, ActivatesOnceShowsTheRibbonAndDeactivates) {
  result r = run({"-e", "(vtm:activate-module)", "-e", "(vtm:activate-module)", "-e",
                  "(vtm:get-available-commands)", "-e", "show ribbon", "-e", "(vtm:deactivate-module)", "-e",
                  "show ribbon", "-e", "show help-menu"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string expected =
      "T\nNIL\n((:MIGRATION-TOOLS \"Migration Tools\" " + triplet("DRAWING_ASSOCIATOR") + " " +
      triplet("IMPORT_ASSEMBLER") + " " + triplet("ASSISTED_CHECKIN") + ") (:HELP \"Help\" " +
      triplet("MODULE-DOCS") + " " + triplet("ABOUT-MODULE") + ") (:SETTINGS \"Extensions\" " +
      triplet("MODULE-SETTINGS") +
      "))\n"
      "Ribbon (1 layouts):\n"
      "  tab SDEXTENSION \"Extensions\"\n"
      "    group VT_MIGRATOR \"Vantrel Migrator\" launcher " +
      triplet("MODULE-SETTINGS") + "\n      button VT_MIGRATOR-DRAWING_ASSOCIATOR " +
      triplet("DRAWING_ASSOCIATOR") + "\n      button VT_MIGRATOR-IMPORT_ASSEMBLER " +
      triplet("IMPORT_ASSEMBLER") + "\n      button VT_MIGRATOR-ASSISTED_CHECKIN " +
      triplet("ASSISTED_CHECKIN") + "\n      split-button Help \"Help\"\n        entry " +
      triplet("MODULE-DOCS") + "\n        entry " + triplet("ABOUT-MODULE") +
      "\nT\n"
      "Ribbon (2 layouts):\n"
      "  tab SDEXTENSION \"Extensions\"\n"
      "Help menu:\n";
  EXPECT_EQ(r.out, expected);
}

TEST_F(SdhostUi, TheSettingsDialogWritesTheRecordOnOkOnly) {
  result r = run({"-e", "VTM_SETTINGS :reset", "-e", "cancel", "-e", "(sdsim:active-dialog)"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "NIL\n");
  EXPECT_FALSE(fs::exists(user_dir() / "persistent_data.lsp"));
  r = run({"-e", "VTM_SETTINGS :reset complete", "-e", "(sdsim:last-dialog-result)"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "T\n");
  EXPECT_NE(record().find("(:MODULE \"VT_MIGRATOR\" :KEY \"VTM_SETTINGS\" :SUBKEY :VALUES :VALUE NIL)"),
            std::string::npos)
      << record();
}

TEST_F(SdhostUi, TheSettingsCommandOpensTheDialogAfterTheCurrentLine) {
  result r = run({"-e", "(vtm:activate-module)", "-e", "(sdsim:run-command \"VT_MIGRATOR-MODULE-SETTINGS\")",
                  "-e", "show dialog", "-e", ":reset complete", "-e", "(sdsim:active-dialog)"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "T\nT\nDialog VTM_SETTINGS \"Edit Vantrel Migrator Settings\" toolbox \"Edit Vantrel Migrator "
            "Settings\"\n  RESET \"Reset Settings\" button (:TOGGLE-TYPE :LEFT-TOGGLE :PUSH-ACTION "
            "\":reset\" :INDICATOR NIL :SIZE :HALF)\nNIL\n");
}

TEST_F(SdhostUi, AUserCustomizationMovesTheToolsIntoTheToolbox) {
  customize("(in-package :vantrel-migrator)\n(setq *user-interface-integration* :toolbox)\n");
  result r = run({"-e", "(sdsim:click-module-button \"VT_MIGRATOR\")", "-e", "show toolbox", "-e",
                  "show ribbon", "-e", "show modules"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      r.out,
      "T\nToolbox:\n"
      "  button \"Drawing Associator\" \"VANTREL_DRAWING_ASSOCIATOR\"\n"
      "  button \"Import Assembler\" \"VANTREL_MM_IMPORT_ASSEMBLER\"\n"
      "  button \"Assisted Check-in\" \"VANTREL_MM_ASSISTED_CHECKIN\"\n"
      "  button \"About\" (VANTREL-MIGRATOR:ABOUT-MODULE)\n"
      "Ribbon (0 layouts):\n"
      "Extension modules:\n"
      "  BRONTA-EXTENSION-MODULES \"Extension Modules\": VT_MIGRATOR \"Vantrel Migrator\" on activation "
      "(VANTREL-MIGRATOR:ACTIVATE-MODULE) deactivation (VANTREL-MIGRATOR:DEACTIVATE-MODULE)\n");
}

TEST_F(SdhostUi, WithoutASettingsDialogNoSettingsGroupExists) {
  customize("(setq vantrel-migrator::+module-settings-dialog+ nil)\n");
  result r = run({"-e", "(vtm:activate-module)", "-e", "(mapcar #'car (vtm:get-available-commands))", "-e",
                  "show settings-menu"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "T\n(:MIGRATION-TOOLS :HELP)\nSettings menu:\n");
}

TEST_F(SdhostUi, AMissingFactoryCustomizationStopsTheLoadButNotTheConsole) {
  // An installation whose home lacks the factory customization file.
  fs::create_directories(dir_ / "lib");
  fs::copy_file(VTM_MODULE_PATH, dir_ / "lib" / "libvt_migrator.so");
  fs::create_directories(dir_ / "vt_migrator");
  fs::copy_file(fs::path(VTM_SOURCE_DIR) / "home" / "vtm_resources.lsp",
                dir_ / "vt_migrator" / "vtm_resources.lsp");
  result r = run({"--module", (dir_ / "lib" / "libvt_migrator.so").string(), "-e", "(list 1)"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "(1)\n");
  EXPECT_NE(r.err.find("The factory customization file '" +
                       (dir_ / "vt_migrator" / "vtm_customize.lsp").string() + "' is missing!"),
            std::string::npos)
      << r.err;
}

TEST_F(SdhostUi, ADamagedStoreFileDoesNotStopTheHost) {
  std::ofstream(user_dir() / "persistent_data.lsp") << "(:module \"VT_MIGRATOR\" :key";
  result r = run({"-e", "VTM_SETTINGS :reset complete", "-e", "(list 1)"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "(1)\n");
  EXPECT_NE(r.err.find("Warning: the persistent data file"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(user_dir() / "persistent_data.lsp.damaged"));
}

TEST_F(SdhostUi, DocumentsTheModuleOnlyInDebugMode) {
  result r = run({"-e", "(sdsim:documentation 'vtm:activate-module)"});
  EXPECT_EQ(r.out, "NIL\n") << r.err;
  r = run({"-e", "(sdsim:documentation 'vtm:activate-module)"}, true);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::regex_match(r.out, std::regex("\"Switches the module on:[^\"]*\"\n"))) << r.out;
}

TEST_F(SdhostUi, RefusedDialogInputFailsTheBatch) {
  // While the dialog runs, lines are its input; host commands still work.
  result r = run({"-e", "VTM_SETTINGS :nothing 1 complete", "-e", "show dialog"});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.out,
            "Error box: :NOTHING is not an option of VTM_SETTINGS.\n"
            "Dialog VTM_SETTINGS \"Edit Vantrel Migrator Settings\" toolbox \"Edit Vantrel Migrator "
            "Settings\"\n  RESET \"Reset Settings\" button (:TOGGLE-TYPE :LEFT-TOGGLE :PUSH-ACTION "
            "\":reset\" :INDICATOR NIL :SIZE :HALF)\n")
      << r.err;
}

}  // namespace
