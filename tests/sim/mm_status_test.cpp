// Model Manager statuses of the models in session and their refresh.
#include "host/mm_status.h"

#include <gtest/gtest.h>

#include "host/dialogs.h"
#include "host/lisp/printer.h"
#include "mm_console_fixture.h"

namespace {

using sim_test::ev;

class MmStatus : public sim_test::MmConsoleTest {
 protected:
  // Loads a package whose top-level contents are "a" ... named as given.
  void load_models(const std::string& forms) {
    write("models.pkg", "(:sdsim-model 1)\n" + forms);
    run("(frame2-ui::universal_load :file \"models.pkg\")");
  }
  std::string status(const std::string& path) {
    return host::lisp::prin1_to_string(
        ev("(modelmanager::get-mmstatus-from-object (oli::sd-pathname-to-obj \"" + path + "\"))"));
  }
};

TEST_F(MmStatus, RefreshCompletesAfterTheCommandAndThenRaisesTheBrowserUpdate) {
  load_models("(:model :name \"a\" :contents (:sysid \"C-A\" :name \"a\" :timestamp 100))\n");
  run("(defparameter *seen* nil)");
  run("(defparameter *probe* (lambda (arg) (push (list arg (modelmanager::get-mmstatus-from-object "
      "(oli::sd-pathname-to-obj \"/a\"))) *seen*)))");
  run("(event:subscribe-event event:*browser-update-event* *probe* :probe)");
  // Within the command the status is still unknown.
  EXPECT_EQ(run("(progn (modelmanager::ndm_refresh_status :all_items t) "
                "(modelmanager::get-mmstatus-from-object (oli::sd-pathname-to-obj \"/a\")))"),
            "NIL\nModel Manager: status of 1 models refreshed\nNIL\n");
  // The browser updates after the subscribing line and the refreshing line
  // still see it unknown; the one the refresh raises sees it, and so does
  // the update after the refresh's own queued line.
  EXPECT_EQ(host::lisp::prin1_to_string(ev("(reverse *seen*)")),
            "((:PROBE NIL) (:PROBE NIL) (:PROBE :NOT-STORED) (:PROBE :NOT-STORED))");
  EXPECT_EQ(status("/a"), ":NOT-STORED");
  run("(event:unsubscribe-event event:*browser-update-event* *probe*)");
}

TEST_F(MmStatus, EachStatusComesFromTheLatestModelStoredUnderTheSysid) {
  write("seed.lsp",
        "(:name \"same\" :sysid \"C-SAME\" :timestamp 100)\n"
        "(:name \"newer\" :sysid \"C-NEWER\" :timestamp 200)\n"
        "(:name \"older\" :sysid \"C-OLDER\" :timestamp 50)\n"
        "(:name \"someone else\" :sysid \"C-CLASH\" :timestamp 100)\n"
        "(:name \"before\" :sysid \"C-AGAIN\" :timestamp 100)\n"
        "(:name \"again\" :sysid \"C-AGAIN\" :timestamp 100)\n");
  run("(sdsim:mm-seed-database \"seed.lsp\")");
  load_models(
      "(:model :name \"same\" :contents (:sysid \"C-SAME\" :name \"same\" :timestamp 100))\n"
      "(:model :name \"newer\" :contents (:sysid \"C-NEWER\" :name \"newer\" :timestamp 100))\n"
      "(:model :name \"older\" :contents (:sysid \"C-OLDER\" :name \"older\" :timestamp 100))\n"
      "(:model :name \"clash\" :contents (:sysid \"C-CLASH\" :name \"clash\" :timestamp 100))\n"
      "(:model :name \"again\" :contents (:sysid \"C-AGAIN\" :name \"again\" :timestamp 100))\n"
      "(:model :name \"new\" :contents (:sysid \"C-NEW\" :name \"same\" :timestamp 100))\n");
  EXPECT_EQ(status("/same"), "NIL");
  run("(modelmanager::ndm_refresh_status :all_items t)");
  EXPECT_EQ(status("/same"), ":UP-TO-DATE");
  EXPECT_EQ(status("/newer"), ":NEWER-VERSION-EXISTS");
  EXPECT_EQ(status("/older"), ":MODIFIED");
  EXPECT_EQ(status("/clash"), ":SYSID-CONFLICT");
  EXPECT_EQ(status("/again"), ":UP-TO-DATE");
  // Its name is stored, but not under its sysid.
  EXPECT_EQ(status("/new"), ":NOT-STORED");

  // A model loaded after the refresh has no status until the next one.
  write("late.pkg",
        "(:sdsim-model 1)\n(:model :name \"late\" :contents (:sysid \"C-SAME2\" :name \"late\"))\n");
  run("(frame2-ui::universal_load :file \"late.pkg\")");
  EXPECT_EQ(status("/late"), "NIL");
  const std::string shown = run("show mm-status");
  EXPECT_NE(shown.find("  late (late, C-SAME2): unknown\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("  clash (clash, C-CLASH): :SYSID-CONFLICT\n"), std::string::npos) << shown;
}

TEST_F(MmStatus, RequestsBeforeTheRefreshRunsAreAnsweredByOne) {
  load_models("(:model :name \"a\" :contents (:sysid \"C-A\" :name \"a\"))\n");
  EXPECT_EQ(run("(progn (modelmanager::ndm_refresh_status :all_items t) "
                "(modelmanager::ndm_refresh_status :all_items t) 0)"),
            "0\nModel Manager: status of 1 models refreshed\nNIL\n");
}

TEST_F(MmStatus, TheRefreshCompletesWhileADialogTakesInput) {
  host::dialogs::dialog_def def;
  def.name = "STATUS_WAITER";
  host::dialogs::variable_def value;
  value.name = "VALUE";
  value.kind = host::dialogs::value_kind::hidden;
  def.variables = {value};
  host::dialogs::define_dialog(std::move(def), "COMMON-LISP-USER");
  load_models("(:model :name \"a\" :contents (:sysid \"C-A\" :name \"a\"))\n");
  run("STATUS_WAITER");
  host::modelmanager::ndm_refresh_status();
  EXPECT_EQ(run(":value 1"), "Model Manager: status of 1 models refreshed\nNIL\n");
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(status("/a"), ":NOT-STORED");
  run("cancel");
}

}  // namespace
