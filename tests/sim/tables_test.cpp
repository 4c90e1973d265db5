// Logical and display tables: their rows, the console's view of them, and
// applying rows and pressing buttons from the console.
#include "host/tables.h"

#include <gtest/gtest.h>

#include "host/dialogs.h"
#include "host/lisp/eval.h"
#include "host/lisp/printer.h"
#include "mm_console_fixture.h"

namespace {

using namespace host::lisp;
using sim_test::ev;

ref kw(std::string_view name) { return ref(&keyword(name)); }
ref str(std::string_view text) { return make_string(text); }

class Tables : public sim_test::MmConsoleTest {
 protected:
  // A queue table keyed by its :staged column, shown through "QUEUE-VIEW".
  void make_queue(const std::string& name) {
    host::oli::sd_create_logical_table(name,
                                       {{kw("MODEL"), "Model", kw("STRING")},
                                        {kw("STATUS"), "Status", kw("KEYWORD")},
                                        {kw("ERRORS"), "Errors", kw("NUMBER")},
                                        {kw("STAGED"), "Staging Location", kw("STRING")}},
                                       {kw("STAGED")});
    host::oli::sd_change_logical_table_contents(
        name, {{str("frame"), kw("PENDING"), make_integer(2), str("models/F.sda")},
               {str("bolt"), kw("CHECKED-IN"), make_integer(0), str("models/B.sdp")},
               {str("arm"), kw("PENDING"), make_integer(10), str("models/A.sda")}});
    host::oli::display_table d;
    d.name = name + "-VIEW";
    d.logical_table = name;
    d.title = "Import Queue";
    d.column_sorting = d.filter_status_line = true;
    d.apply_variable = "STAGED";
    d.buttons = {{"Retry", ev("(lambda () (setq *pressed* (1+ *pressed*)))")}};
    host::oli::sd_create_display_table(d);
  }

  // A dialog with a hidden variable that records what it gets.
  void define_receiver() {
    host::dialogs::dialog_def def;
    def.name = "TABLE_RECEIVER";
    host::dialogs::variable_def staged;
    staged.name = "STAGED";
    staged.kind = host::dialogs::value_kind::hidden;
    staged.after_input = [this](host::dialogs::dialog_context&, const ref& v) {
      received_.push_back(prin1_to_string(v));
    };
    def.variables = {staged};
    host::dialogs::define_dialog(std::move(def), "COMMON-LISP-USER");
  }

  std::vector<std::string> received_;
};

TEST_F(Tables, RowsAreReplacedWrittenAndRemovedByTheirKey) {
  make_queue("Q1");
  EXPECT_TRUE(
      host::oli::sd_write_logical_table_cell("Q1", {str("models/B.sdp")}, kw("STATUS"), kw("LOADED")));
  EXPECT_FALSE(
      host::oli::sd_write_logical_table_cell("Q1", {str("models/X.sdp")}, kw("STATUS"), kw("LOADED")));
  EXPECT_TRUE(host::oli::sd_remove_logical_table_row("Q1", {str("models/F.sda")}));
  EXPECT_FALSE(host::oli::sd_remove_logical_table_row("Q1", {str("models/F.sda")}));
  // The row after the removed one is found where it is now.
  EXPECT_TRUE(host::oli::sd_write_logical_table_cell("Q1", {str("models/A.sda")}, kw("STATUS"), kw("DONE")));
  const auto rows = host::oli::sd_read_logical_table("Q1");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(prin1_to_string(list_from(rows[0])), "(\"bolt\" :LOADED 0 \"models/B.sdp\")");
  EXPECT_EQ(prin1_to_string(list_from(rows[1])), "(\"arm\" :DONE 10 \"models/A.sda\")");

  EXPECT_THROW(host::oli::sd_write_logical_table_cell("Q1", {str("models/B.sdp")}, kw("NOPE"), nil()),
               lisp_error);
  EXPECT_THROW(host::oli::sd_change_logical_table_contents("Q1", {{str("short")}}), lisp_error);
  EXPECT_THROW(host::oli::sd_write_logical_table_cell("NO-TABLE", {str("a")}, kw("STATUS"), nil()),
               lisp_error);
  // A failed change keeps the rows.
  EXPECT_EQ(host::oli::sd_read_logical_table("Q1").size(), 2u);
}

TEST_F(Tables, TheConsoleShowsTheRowsSortedWhereTheTableIsShown) {
  make_queue("Q2");
  host::oli::sd_sort_display_table("Q2-VIEW", kw("ERRORS"), true);
  std::string shown = run("show tables");
  EXPECT_NE(shown.find("display Q2-VIEW \"Import Queue\" of Q2 hidden, sorted by :ERRORS descending"),
            std::string::npos)
      << shown;
  host::oli::sd_show_display_table("Q2-VIEW", "VANTREL_MM_ASSISTED_CHECKIN", kw("RIGHTTOP"));
  shown = run("show tables");
  EXPECT_NE(
      shown.find("display Q2-VIEW \"Import Queue\" of Q2 shown at RIGHTTOP of VANTREL_MM_ASSISTED_CHECKIN"),
      std::string::npos)
      << shown;
  EXPECT_NE(shown.find("    buttons: apply close help \"Retry\"; apply sets STAGED\n"
                       "    # | Model | Status | Errors | Staging Location\n"
                       "    1 | \"arm\" | :PENDING | 10 | \"models/A.sda\"\n"
                       "    2 | \"frame\" | :PENDING | 2 | \"models/F.sda\"\n"
                       "    3 | \"bolt\" | :CHECKED-IN | 0 | \"models/B.sdp\"\n"
                       "    3 rows\n"),
            std::string::npos)
      << shown;
  EXPECT_THROW(host::oli::sd_sort_display_table("Q2-VIEW", kw("NOPE"), false), lisp_error);
}

TEST_F(Tables, ApplyingAShownRowSendsItsKeyToTheRunningDialogAndButtonsRunTheirAction) {
  define_receiver();
  make_queue("Q3");
  run("(defparameter *pressed* 0)");
  run("TABLE_RECEIVER");
  // Hidden tables take no clicks.
  run("APPLY_TABLE_ROW \"Q3-VIEW\" 1");
  EXPECT_TRUE(received_.empty());

  host::oli::sd_show_display_table("Q3-VIEW", "TABLE_RECEIVER", kw("RIGHTTOP"));
  host::oli::sd_sort_display_table("Q3-VIEW", kw("MODEL"), false);
  run("APPLY_TABLE_ROW \"Q3-VIEW\" 2");
  run("APPLY_TABLE_ROW \"Q3-VIEW\" 4");
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0], "\"models/B.sdp\"");

  run("PRESS_TABLE_BUTTON \"Q3-VIEW\" \"Retry\"");
  run("PRESS_TABLE_BUTTON \"Q3-VIEW\" \"Again\"");
  EXPECT_EQ(as_integer(ev("*pressed*")), 1);
  const std::string errors = err_.str();
  EXPECT_NE(errors.find("The table Q3-VIEW is not shown."), std::string::npos) << errors;
  EXPECT_NE(errors.find("The table Q3-VIEW has no row 4."), std::string::npos) << errors;
  EXPECT_NE(errors.find("The table Q3-VIEW has no button \"Again\"."), std::string::npos) << errors;
  run("cancel");
}

TEST_F(Tables, AScriptBuildsAndShowsATableThroughTheLispFunctionsAndClosesIt) {
  run("(oli:sd-create-logical-table \"L1\" :columns '((:name \"Name\" :string) (:state \"State\" :keyword)) "
      ":key-columns '(:name))");
  run("(oli:sd-change-logical-table-contents \"L1\" :contents '((\"a\" :pending) (\"b\" :pending)))");
  EXPECT_EQ(
      run("(oli:sd-write-logical-table-cell \"L1\" :keyvalues '(\"b\") :column :state :value :resolved)"),
      "T\n");
  EXPECT_EQ(run("(oli:sd-remove-logical-table-row \"L1\" :keyvalues '(\"a\"))"), "T\n");
  std::string shown = run("show tables");
  EXPECT_NE(shown.find("  logical L1 (1 rows, not displayed)\n    | \"b\" | :RESOLVED\n"), std::string::npos)
      << shown;

  run("(oli:sd-create-display-table \"L1-VIEW\" :table \"L1\" :title \"Names\" :help-url "
      "\"help/names.html\")");
  run("(oli:sd-show-display-table \"L1-VIEW\" :position \"SOME_DIALOG\" :righttop t)");
  EXPECT_EQ(run("PRESS_TABLE_BUTTON \"L1-VIEW\" \"Help\""), "Display URL: help/names.html\n");
  run("PRESS_TABLE_BUTTON \"L1-VIEW\" \"Close\"");
  shown = run("show tables");
  EXPECT_NE(shown.find("display L1-VIEW \"Names\" of L1 hidden\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("    1 | \"b\" | :RESOLVED\n"), std::string::npos) << shown;
}

}  // namespace
