// The settings dialog and the persisted settings record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core_fixture.h"
#include "dialogs/dialog_engine.h"
#include "host/console.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/streams.h"

namespace {

using core_test::eval;
using core_test::print;
namespace fs = std::filesystem;

class Settings : public testing::Test {
 protected:
  void SetUp() override {
    core_test::load_module();
    eval("(oli:sd-set-persistent-data \"VT_MIGRATOR\" \"VTM_SETTINGS\" '(:old-override 1) :subkey :values)");
    // A user customization that counts its loads.
    fs::create_directories(core_test::load_module() / "VT_MIGRATOR");
    std::ofstream(core_test::load_module() / "VT_MIGRATOR" / "customize.lsp")
        << "(setq cl-user::*loads* (+ cl-user::*loads* 1))\n";
    eval("(defvar cl-user::*loads* 0)");
    eval("(setq cl-user::*loads* 0)");
  }
  void TearDown() override {
    fs::remove_all(core_test::load_module() / "VT_MIGRATOR");
    if (!sim::dialogs::active_dialog().empty()) line("cancel");
  }
  bool line(const std::string& text) {
    sim::console console(err_);
    return console.run_line(text);
  }
  std::string record() {
    return print("(oli:sd-get-persistent-data \"VT_MIGRATOR\" \"VTM_SETTINGS\" :subkey :values)");
  }
  std::ostringstream err_;
};

TEST_F(Settings, TheModelHoldsNoSettingYet) {
  EXPECT_EQ(print("vtm::+module-settings-dialog+"), "\"VTM_SETTINGS\"");
  EXPECT_EQ(print("(vtm::module-settings)"), "NIL");
  EXPECT_EQ(print("(vtm::load-persisted-module-settings)"), "T");
  eval("(oli:sd-set-persistent-data \"VT_MIGRATOR\" \"VTM_SETTINGS\" nil :subkey :values)");
  EXPECT_EQ(print("(vtm::load-persisted-module-settings)"), "T");
}

TEST_F(Settings, ResetReloadsTheCustomizationAndCancelKeepsTheRecord) {
  EXPECT_TRUE(line("VTM_SETTINGS :reset :reset"));
  EXPECT_EQ(print("cl-user::*loads*"), "2");
  EXPECT_EQ(sim::dialogs::active_dialog(), "VTM_SETTINGS");  // reset leaves it open
  EXPECT_TRUE(line("cancel"));
  EXPECT_EQ(sim::dialogs::active_dialog(), "");
  EXPECT_EQ(print("(sdsim:last-dialog-result)"), "NIL");
  EXPECT_EQ(record(), "(:OLD-OVERRIDE 1)");
}

TEST_F(Settings, OkWithoutChangesWritesTheRecordBackUnchanged) {
  fs::path store = core_test::load_module() / "persistent_data.lsp";
  fs::remove(store);
  eval("(oli:sd-set-persistent-data \"VT_MIGRATOR\" \"VTM_SETTINGS\" '(:old-override 1) :subkey :values)");
  EXPECT_TRUE(line("VTM_SETTINGS :reset complete"));
  EXPECT_EQ(sim::dialogs::active_dialog(), "");
  EXPECT_EQ(print("(sdsim:last-dialog-result)"), "T");
  EXPECT_EQ(record(), "(:OLD-OVERRIDE 1)");
  // The settings dialog keeps no values of its own in the dialog storage.
  EXPECT_EQ(print("(oli:sd-get-persistent-data \"VT_MIGRATOR\" \"VTM_SETTINGS\" :subkey :dialog-values)"),
            "NIL");
}

TEST_F(Settings, AnotherInputIsRefusedAndTheDialogStaysOpen) {
  std::ostringstream out;
  std::ostream& saved = host::lisp::standard_output();
  host::lisp::set_standard_output(out);
  bool ok = line("VTM_SETTINGS :colour :red complete");
  host::lisp::set_standard_output(saved);
  EXPECT_FALSE(ok);
  EXPECT_NE(out.str().find("Error box: :COLOUR is not an option of VTM_SETTINGS."), std::string::npos)
      << out.str();
  EXPECT_EQ(sim::dialogs::active_dialog(), "VTM_SETTINGS");
}

TEST_F(Settings, IsAHostCommandAndAFunction) {
  EXPECT_EQ(print("(eq 'vtm::vtm_settings 'oli:vtm_settings)"), "T");
  EXPECT_EQ(print("(oli:vtm_settings :reset 'complete)"), "T");
  EXPECT_EQ(print("cl-user::*loads*"), "1");
}

}  // namespace
