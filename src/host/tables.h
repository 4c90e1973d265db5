// The host's tables: a logical table holds rows of typed columns, keyed by
// its key columns; a display table shows a logical table to the user, who
// sorts it, applies a row or presses one of its buttons.
//
// Tables are named; creating a table of a name that exists replaces it.
// Operations on a table that does not exist signal the host's error.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/lisp/object.h"

namespace host::oli {

struct table_column {
  lisp::ref key;  // keyword, e.g. :staged
  std::string title;
  lisp::ref type;  // :string, :keyword or :number
};

// key_columns: the keywords of the columns whose values identify a row.
void sd_create_logical_table(const std::string& name, const std::vector<table_column>& columns,
                             const std::vector<lisp::ref>& key_columns);
// Replaces all rows; each row holds one value per column in column order.
void sd_change_logical_table_contents(const std::string& name,
                                      const std::vector<std::vector<lisp::ref>>& rows);
// Writes the cell of the row whose key columns hold keyvalues (in key
// column order); false when there is no such row.
bool sd_write_logical_table_cell(const std::string& name, const std::vector<lisp::ref>& keyvalues,
                                 const lisp::ref& column, const lisp::ref& value);
// Removes that row; false when there is none.
bool sd_remove_logical_table_row(const std::string& name, const std::vector<lisp::ref>& keyvalues);
// The rows as they are now.
std::vector<std::vector<lisp::ref>> sd_read_logical_table(const std::string& name);

struct table_button {
  std::string label;  // e.g. "Retry"
  lisp::ref action;   // a function designator called with no arguments
};

struct display_table {
  std::string name;           // e.g. "VANTREL-MODEL-QUEUE-VIEW"
  std::string logical_table;  // the table it shows
  std::string title;
  bool column_sorting = false;                       // the user may sort by a column
  bool filter_status_line = false;                   // the line with the filter and the row count
  std::optional<std::pair<int, int>> width, height;  // (minimum maximum)
  // Applying a row sends the values of its key columns (the first one
  // alone for one key column) as input of this variable of the dialog
  // running then: the line ":VARIABLE value" runs after the command running
  // now. Empty: applying does nothing.
  std::string apply_variable;
  // Besides the standard apply, close and help buttons.
  std::vector<table_button> buttons;
  std::string help_url;  // shown by the help button; empty: none
};
void sd_create_display_table(const display_table& table);
// Shows it beside a dialog; position is e.g. :righttop.
void sd_show_display_table(const std::string& name, const std::string& dialog, const lisp::ref& position);
void sd_hide_display_table(const std::string& name);
// Sorts the rows it shows by the column, ascending unless descending.
void sd_sort_display_table(const std::string& name, const lisp::ref& column, bool descending);

}  // namespace host::oli
