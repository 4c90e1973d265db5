// The structure browser's views, columns and searches as the console shows
// them, the viewports and their draw lists, and a dialog's next initial
// values.
#include <gtest/gtest.h>

#include "host/browser.h"
#include "host/dialog_initial_values.h"
#include "host/dialogs.h"
#include "host/lisp/eval.h"
#include "host/lisp/printer.h"
#include "host/ui.h"
#include "host/viewports.h"
#include "mm_console_fixture.h"

namespace {

using namespace host::lisp;
using sim_test::ev;

ref kw(std::string_view name) { return ref(&keyword(name)); }

class BrowserViewports : public sim_test::MmConsoleTest {
 protected:
  void SetUp() override {
    MmConsoleTest::SetUp();
    write("frame.pkg", sim_test::frame_package);
    run("(frame2-ui::universal_load :file \"frame.pkg\")");
  }
};

TEST_F(BrowserViewports, TheCurrentViewDrawsItsColumnsWithTheirDisplayFunctionsAndTheSearchMarksItsMatches) {
  // A column that shows the node's path for parts named bolt.
  run("(defun path-of-bolt (node) (let ((p (g-browser:browsernode-objpath node))) "
      "(when (search \"bolt\" p) (format nil \"at ~A\" p))))");
  host::oli::sd_create_column_definition(
      {kw("BOLT-PATH"), "Bolt", kw("LEFT"), kw("AUTO"), true, ev("'path-of-bolt"), nil(), nil()});
  host::oli::browser_view view;
  view.id = "TEST-VIEW";
  view.title = "Test View";
  view.tree_config = list({kw("INSTANCE-NAME"), make_string(" ("), kw("CONTENTS-NAME"), make_string(")")});
  view.detail_config = list({kw("BOLT-PATH"), kw("SHARED")});
  view.activate_detail_configuration = true;
  view.enable = t();
  host::oli::sd_delete_browser_view("TEST-VIEW");
  host::oli::sd_create_browser_view(view);
  host::oli::sd_set_current_browser_view("parcel-gbrowser", "TEST-VIEW", true);
  host::oli::sd_create_browser_search(
      "parcel-gbrowser",
      {"Names", "Name Search", {{kw("CONTENTS-NAME"), kw("EQUALS"), make_string("SUB")}}, false, true});
  host::oli::sd_set_current_browser_search("parcel-gbrowser", "Names", true);

  std::string shown = run("show browser");
  EXPECT_NE(shown.find("view TEST-VIEW \"Test View\" (persistent)"), std::string::npos) << shown;
  EXPECT_NE(shown.find("  search Names \"Name Search\" :CONTENTS-NAME :EQUALS \"SUB\"\n"), std::string::npos)
      << shown;
  EXPECT_NE(shown.find("  frame (frame) |  | no\n"
                       "    bolt (bolt) | at /frame/bolt | yes\n"
                       "    bolt_2 (bolt) | at /frame/bolt_2 | yes\n"
                       "    * sub (sub) |  | no\n"
                       "      b (bolt) |  | yes\n"),
            std::string::npos)
      << shown;

  // Case matters when the search says so; a deleted search marks nothing.
  host::oli::sd_create_browser_search(
      "parcel-gbrowser",
      {"Names", "Name Search", {{kw("CONTENTS-NAME"), kw("EQUALS"), make_string("SUB")}}, true, true});
  EXPECT_EQ(run("show browser").find("* "), std::string::npos);
  run("(oli:sd-create-browser-search \"parcel-gbrowser\" \"Bolts\" :criteria '((:instance-name :contains "
      "\"bolt\")))");
  run("(oli:sd-set-current-browser-search \"parcel-gbrowser\" \"Bolts\")");
  shown = run("show browser");
  EXPECT_NE(shown.find("    * bolt (bolt)"), std::string::npos) << shown;
  EXPECT_NE(shown.find("    * bolt_2 (bolt)"), std::string::npos) << shown;
  EXPECT_EQ(run("(oli:sd-delete-browser-search \"parcel-gbrowser\" \"Bolts\")"), "T\n");
  EXPECT_EQ(run("show browser").find("* "), std::string::npos);
  EXPECT_FALSE(host::oli::sd_delete_browser_search("parcel-gbrowser", "Bolts"));

  EXPECT_THROW(host::oli::sd_set_current_browser_view("parcel-gbrowser", "NO-VIEW", false), lisp_error);
  EXPECT_THROW(host::oli::sd_set_current_browser_search("parcel-gbrowser", "Bolts", false), lisp_error);
  const int redraws = int(as_integer(ev("(sdsim:browser-redraw-count \"parcel-gbrowser\")")));
  host::g_browser::rebuild_browser_tree("parcel-gbrowser");
  EXPECT_EQ(as_integer(ev("(sdsim:browser-redraw-count \"parcel-gbrowser\")")), redraws + 1);
}

TEST_F(BrowserViewports, ADrawListShowsOnlyItsModelsUntilTheComparisonViewportsAreGone) {
  const ref vp = host::oli::sd_inq_current_vp();
  EXPECT_EQ(prin1_to_string(vp), "\"1\"");
  host::elan_ui::set_vp_drawlist(vp, list({ev("(oli::sd-pathname-to-obj \"/frame/sub\")")}));
  host::frame2_ui::fit_vp(vp);
  EXPECT_NE(run("show viewports").find("  1 (current), fitted 1 times, draws /frame/sub\n"),
            std::string::npos);
  EXPECT_THROW(host::elan_ui::set_vp_drawlist(vp, list({ev("(oli::sd-pathname-to-obj \"/nothing\")")})),
               lisp_error);
  EXPECT_THROW(host::frame2_ui::fit_vp(make_string("9")), lisp_error);

  // A comparison opens a viewport per model and makes the last current; it
  // is Model Manager's own window and ends the dialog that runs.
  run("(setq modelmanager::*local-model* (oli::sd-pathname-to-obj \"/frame/bolt\"))");
  run("(setq modelmanager::*db-model* (oli::sd-pathname-to-obj \"/frame/sub/b\"))");
  host::dialogs::dialog_def def;
  def.name = "COMPARING";
  host::dialogs::variable_def compare;
  compare.name = "COMPARE";
  compare.kind = host::dialogs::value_kind::push_action;
  compare.after_input = [](host::dialogs::dialog_context&, const ref&) {
    host::lisp::eval_string("(modelmanager::cr-compare-models-callback)");
  };
  def.variables = {compare};
  host::dialogs::define_dialog(std::move(def), "COMMON-LISP-USER");
  run("COMPARING :compare");
  EXPECT_EQ(prin1_to_string(ev("(sdsim:active-dialog)")), "NIL");
  std::string shown = run("show viewports");
  EXPECT_NE(shown.find("  Compare 1 comparison, fitted 1 times, draws /frame/bolt\n"
                       "  Compare 2 (current) comparison, fitted 1 times, draws /frame/sub/b\n"),
            std::string::npos)
      << shown;
  run("(modelmanager::db-compare-delete-viewports)");
  run("(modelmanager::db-compare-update-standard-viewport)");
  EXPECT_EQ(run("show viewports"), "Viewports:\n  1 (current), fitted 2 times, draws everything\n");
  run("(modelmanager::reset-model-buffer)");
}

TEST_F(BrowserViewports, ChangedInitialValuesAreWhatTheDialogStartsWithNextTime) {
  host::dialogs::dialog_def def;
  def.name = "LAV_DIALOG";
  host::dialogs::variable_def dir;
  dir.name = "DIR";
  dir.kind = host::dialogs::value_kind::directory;
  def.variables = {dir};
  host::dialogs::define_dialog(std::move(def), "COMMON-LISP-USER");
  EXPECT_THROW(host::frame2::chg_lav("NO_SUCH_DIALOG", nil()), lisp_error);
  run("(frame2::chg-lav \"LAV_DIALOG\" :initial-values-plist '(:dir \"/data/stage\"))");
  run("LAV_DIALOG");
  EXPECT_NE(run("show dialog").find("DIR \"\" directory = \"/data/stage\""), std::string::npos);
  run("cancel");
}

}  // namespace
