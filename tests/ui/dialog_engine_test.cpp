// The dialog facility as a dialog's author and its user meet it: command
// lines, checks, reactions, OK and cancel, persistent dialog values.
#include "dialogs/dialog_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/dialogs.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/persistent_data.h"
#include "ui_fixture.h"

namespace {

using namespace host::lisp;
using namespace host::dialogs;
namespace fs = std::filesystem;

ref kw(std::string_view name) { return ref(&keyword(name)); }

variable_def var(std::string name, value_kind kind, ref initial = nil()) {
  variable_def v;
  v.name = std::move(name);
  v.title = v.name;
  v.kind = kind;
  v.initial = std::move(initial);
  return v;
}

// What a test dialog's callbacks saw.
struct trace {
  std::vector<std::string> events;
  void add(std::string e) { events.push_back(std::move(e)); }
};

class Dialogs : public ui_test::ConsoleTest {
 protected:
  void TearDown() override {
    if (!sim::dialogs::active_dialog().empty()) run("cancel");
  }

  // A dialog in the manner of the migration tools: a directory that must
  // exist, a toggle, a count that shows or hides a button, and a hidden
  // completion option.
  void define_tool(std::string pds_module = {}) {
    dialog_def d;
    d.name = "TEST_TOOL";
    d.title = "Test Tool";
    d.pds_module = std::move(pds_module);
    variable_def dir = var("INPUT_DIRECTORY", value_kind::directory);
    dir.must = true;
    dir.check = [this](dialog_context&, const ref& v) -> std::optional<std::string> {
      trace_.add("check " + as_string(v));
      if (!fs::exists(as_string(v))) return "The input directory does not exist.";
      return std::nullopt;
    };
    dir.after_input = [this](dialog_context& c, const ref& v) {
      trace_.add("after " + as_string(v));
      c.set_value("FILES", make_integer(static_cast<std::int64_t>(as_string(v).size())));
    };
    variable_def check = var("CHECK", value_kind::boolean, t());
    variable_def files = var("FILES", value_kind::number, make_integer(0));
    files.input = false;
    files.after_input = [](dialog_context& c, const ref& v) {
      c.set_visible("SHOW_REPORT", as_integer(v) > 0);
    };
    variable_def report = var("SHOW_REPORT", value_kind::push_action);
    report.visible = false;
    report.after_input = [this](dialog_context&, const ref&) { trace_.add("report"); };
    variable_def mode = var("MODE", value_kind::option_list, make_string("-"));
    mode.options = {make_string("-"), make_string("fast"), make_string("slow")};
    variable_def finish = var("DB_FINISH", value_kind::hidden);
    finish.after_input = [this](dialog_context&, const ref& v) {
      trace_.add("finish " + prin1_to_string(v));
    };
    d.variables = {dir, check, files, report, mode, finish};
    d.on_start = [this](dialog_context& c) {
      trace_.add(c.inside_action() ? "start inside" : "start typed");
    };
    d.ok = [this](dialog_context& c) {
      if (!c.run_before_ok()) {
        c.stay_open();
        return;
      }
      trace_.add("ok check=" + prin1_to_string(c.value("CHECK")) + " mode=" + as_string(c.value("MODE")));
      c.set_result(make_string("done"));
      c.run_after_ok();
    };
    d.cancel = [this](dialog_context& c) {
      trace_.add("cancel");
      c.set_result(make_string("Cancel"));
    };
    define_dialog(std::move(d), "CL-USER");
  }

  std::string dir_ = fs::temp_directory_path().string();
  trace trace_;
};

TEST_F(Dialogs, TakesOptionsInAnyOrderRepeatedAndCompletes) {
  define_tool();
  run("TEST_TOOL :mode \"slow\" :check :off :input_directory \"" + dir_ + "\" :mode \"fast\" complete");
  EXPECT_EQ(sim::dialogs::active_dialog(), "");
  EXPECT_EQ(prin1_to_string(sim::dialogs::last_result()), "\"done\"");
  ASSERT_FALSE(trace_.events.empty());
  EXPECT_EQ(trace_.events.front(), "start typed");
  EXPECT_EQ(trace_.events.back(), "ok check=NIL mode=fast");
}

TEST_F(Dialogs, ReactionsChainAndShowWhatTheyEnable) {
  define_tool();
  // The button is hidden until the count the directory's reaction sets
  // makes it visible.
  std::string out = run("TEST_TOOL :show_report", false);
  EXPECT_NE(out.find("SHOW_REPORT is not available now."), std::string::npos) << out;
  run(":input_directory \"" + dir_ + "\" :show_report");
  EXPECT_EQ(prin1_to_string(eval_string("(sdsim:active-dialog)")), "\"TEST_TOOL\"");
  std::vector<std::string> expected = {"start typed", "check " + dir_, "after " + dir_, "report"};
  EXPECT_EQ(trace_.events, expected);
}

TEST_F(Dialogs, ARefusedValueKeepsTheOldOneAndDropsTheRestOfTheLine) {
  define_tool();
  run("TEST_TOOL :input_directory \"" + dir_ + "\"");
  std::string out = run(":input_directory \"/no/such/dir\" :mode \"slow\" complete", false);
  EXPECT_NE(out.find("Error box: The input directory does not exist."), std::string::npos) << out;
  // Neither the mode after the refusal nor complete ran.
  EXPECT_EQ(sim::dialogs::active_dialog(), "TEST_TOOL");
  run("complete");
  EXPECT_EQ(trace_.events.back(), "ok check=T mode=-");
}

TEST_F(Dialogs, KindsCheckTheirValues) {
  define_tool();
  fs::path file = fs::path(dir_) / "dialog kinds test file";
  std::ofstream(file) << "x";
  run("TEST_TOOL");
  struct refusal {
    std::string input, message;
  } refusals[] = {
      {":check :maybe", "CHECK takes :on or :off, not :MAYBE."},
      {":mode \"medium\"", "\"medium\" is not one of the choices of MODE."},
      {":input_directory \"" + file.string() + "\"", file.string() + " is not a directory."},
      {":input_directory 12", "12 is not a string."},
      {":files 3", "FILES is display only."},
      {":nothing 1", ":NOTHING is not an option of TEST_TOOL."},
      {":mode", "A value for MODE is missing."},
  };
  for (const refusal& r : refusals) {
    std::string out = run(r.input, false);
    EXPECT_NE(out.find("Error box: " + r.message), std::string::npos) << r.input << " gave " << out;
  }
  fs::remove(file);
  // Hidden options are for command strings: always accepted.
  run(":db_finish (list 1 2)");
  EXPECT_EQ(trace_.events.back(), "finish (1 2)");
}

TEST_F(Dialogs, OkWaitsForTheMustVariables) {
  define_tool();
  std::string out = run("TEST_TOOL complete", false);
  EXPECT_NE(out.find("Please enter a value for INPUT_DIRECTORY"), std::string::npos) << out;
  EXPECT_EQ(sim::dialogs::active_dialog(), "TEST_TOOL");
  run(":input_directory \"" + dir_ + "\" complete");
  EXPECT_EQ(sim::dialogs::active_dialog(), "");
}

TEST_F(Dialogs, CancelAndANewCommandEndTheRunningDialog) {
  define_tool();
  run("TEST_TOOL :mode \"slow\"");
  run("cancel");
  EXPECT_EQ(sim::dialogs::active_dialog(), "");
  EXPECT_EQ(prin1_to_string(sim::dialogs::last_result()), "\"Cancel\"");
  trace_.events.clear();
  // A value form runs inside the dialog; the line it queues runs as an
  // action after this one: the running dialog is cancelled and the new
  // one knows it was not typed.
  run("TEST_TOOL :db_finish (frame2::put-buffer \"TEST_TOOL :db_finish 7\")");
  std::vector<std::string> expected = {"start typed", "finish NIL", "cancel", "start inside", "finish 7"};
  EXPECT_EQ(trace_.events, expected);
}

TEST_F(Dialogs, APreconditionKeepsTheDialogFromStarting) {
  dialog_def d;
  d.name = "TEST_NEEDS_MODULE";
  d.precondition = [] { return std::optional<std::string>("The module ANNOTATION is not active."); };
  d.on_start = [this](dialog_context&) { trace_.add("start"); };
  define_dialog(std::move(d), "CL-USER");
  std::string out = run("TEST_NEEDS_MODULE", false);
  EXPECT_NE(out.find("Error box: The module ANNOTATION is not active."), std::string::npos) << out;
  EXPECT_TRUE(trace_.events.empty());
  EXPECT_EQ(sim::dialogs::active_dialog(), "");
}

TEST_F(Dialogs, KeepsTheValuesOfTheLastOkForTheModule) {
  define_tool("TEST_MODULE");
  run("TEST_TOOL :input_directory \"" + dir_ + "\" :mode \"slow\" :check :off complete");
  EXPECT_EQ(
      prin1_to_string(host::oli::sd_get_persistent_data("TEST_MODULE", "TEST_TOOL", kw("DIALOG-VALUES"))),
      "(:INPUT_DIRECTORY \"" + dir_ + "\" :CHECK NIL :MODE \"slow\")");
  run("TEST_TOOL complete");  // the directory comes back, so OK is accepted
  EXPECT_EQ(trace_.events.back(), "ok check=NIL mode=slow");
  // A cancelled run stores nothing.
  run("TEST_TOOL :mode \"fast\" cancel");
  EXPECT_EQ(as_string(getf(host::oli::sd_get_persistent_data("TEST_MODULE", "TEST_TOOL", kw("DIALOG-VALUES")),
                           kw("MODE"))),
            "slow");
}

TEST_F(Dialogs, ReactionsThatNeverSettleAreStopped) {
  dialog_def d;
  d.name = "TEST_LOOP";
  variable_def a = var("A", value_kind::text);
  a.after_input = [](dialog_context& c, const ref& v) { c.set_value("A", v); };
  d.variables = {a};
  define_dialog(std::move(d), "CL-USER");
  std::string out = run("TEST_LOOP :a \"x\"", false);
  EXPECT_NE(out.find("do not come to rest"), std::string::npos) << out;
}

TEST_F(Dialogs, RunsFromLispAndAnswersTheActionResult) {
  define_tool();
  EXPECT_EQ(prin1_to_string(
                eval_string("(cl-user::test_tool :input_directory \"" + dir_ + "\" :check nil 'complete)")),
            "\"done\"");
  EXPECT_EQ(trace_.events.front(), "start inside");
}

}  // namespace

namespace {

TEST_F(Dialogs, ADialogStartedFromACallbackRunsAfterIt) {
  define_tool();
  dialog_def d;
  d.name = "TEST_CHAIN";
  d.ok = [this](dialog_context& c) {
    trace_.add("chain ok");
    eval_string("(cl-user::test_tool :db_finish \"next\" 'cancel)");
    trace_.add("chain ok done");
    c.run_after_ok();
  };
  define_dialog(std::move(d), "CL-USER");
  trace_.events.clear();
  run("TEST_CHAIN complete");
  std::vector<std::string> expected = {"chain ok", "chain ok done", "start inside", "finish \"next\"",
                                       "cancel"};
  EXPECT_EQ(trace_.events, expected);
  EXPECT_EQ(sim::dialogs::active_dialog(), "");
}

}  // namespace

namespace {

TEST_F(Dialogs, ARunCanSetTheInitialValuesOfTheNextOne) {
  dialog_def d;
  d.name = "TEST_REMEMBER";
  variable_def dir = var("STAGING_DIRECTORY", value_kind::directory);
  dir.after_input = [](dialog_context& c, const ref& v) {
    c.set_next_initial_values({{"STAGING_DIRECTORY", v}});
  };
  d.variables = {dir, var("OTHER", value_kind::text, make_string("o"))};
  define_dialog(std::move(d), "CL-USER");
  run("TEST_REMEMBER :staging_directory \"" + dir_ + "\" :other \"changed\" cancel");
  run("TEST_REMEMBER");
  std::vector<std::string> shown = sim::dialogs::describe_active();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1], "  STAGING_DIRECTORY \"STAGING_DIRECTORY\" directory = \"" + dir_ + "\"");
  EXPECT_EQ(shown[2], "  OTHER \"OTHER\" text = \"o\"");
}

}  // namespace

namespace {

TEST_F(Dialogs, PartSelectionsAreCheckedByTheSession) {
  dialog_def d;
  d.name = "TEST_SELECT";
  d.variables = {var("CURRENT_MODEL", value_kind::part_assembly)};
  define_dialog(std::move(d), "CL-USER");
  run("TEST_SELECT :current_model \"/a\"");
  EXPECT_NE(run(":current_model nil", false).find("No part or assembly given for CURRENT_MODEL."),
            std::string::npos);
  set_part_assembly_check([](const ref& v) -> std::optional<std::string> {
    if (stringp(v) && as_string(v) == "/assy") return std::nullopt;
    return prin1_to_string(v) + " is not a part or assembly in session.";
  });
  EXPECT_NE(run(":current_model \"/a\"", false).find("\"/a\" is not a part or assembly in session."),
            std::string::npos);
  run(":current_model \"/assy\"");
  set_part_assembly_check(nullptr);
}

}  // namespace
