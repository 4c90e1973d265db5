// Logical and display tables (host/tables.h). The console shows them with
// `show tables`, applies a shown row with `APPLY_TABLE_ROW "VIEW" n` (the
// n-th row as shown, from 1) and presses a button with
// `PRESS_TABLE_BUTTON "VIEW" "Label"` (a custom button, or the standard
// "Close" and "Help").
#include "host/tables.h"

#include <algorithm>
#include <map>
#include <sstream>
#include <unordered_map>

#include "host/console.h"
#include "host/events.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "host/lisp/streams.h"
#include "host/ui.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"

namespace {

using namespace host::lisp;
using host::oli::table_column;

struct logical {
  std::vector<table_column> columns;
  std::vector<std::size_t> keys;  // column indices
  std::vector<std::vector<ref>> rows;
  // Printed key values -> row numbers, made when first needed after the
  // rows changed: a dialog that writes a cell of each of thousands of rows
  // does not search the table for each.
  std::unordered_multimap<std::string, std::size_t> index;
  bool indexed = false;
};

std::string key_text(const std::vector<ref>& keyvalues) {
  std::string text;
  for (const ref& v : keyvalues) text += prin1_to_string(v) + '\0';
  return text;
}

struct shown_table {
  host::oli::display_table def;
  bool shown = false;
  std::string dialog;
  ref position;
  ref sort_column;
  bool descending = false;
};

std::map<std::string, logical>& logicals() {
  static std::map<std::string, logical> all;
  return all;
}
std::map<std::string, shown_table>& displays() {
  static std::map<std::string, shown_table> all;
  return all;
}

logical& require_logical(const std::string& name) {
  auto it = logicals().find(name);
  if (it == logicals().end())
    sim::host_command_failed("OLI", "UNKNOWN-TABLE", "There is no logical table " + name + ".");
  return it->second;
}
shown_table& require_display(const std::string& name) {
  auto it = displays().find(name);
  if (it == displays().end())
    sim::host_command_failed("OLI", "UNKNOWN-TABLE", "There is no display table " + name + ".");
  return it->second;
}

std::size_t column_index(const logical& t, const ref& column, const std::string& table) {
  for (std::size_t i = 0; i < t.columns.size(); ++i)
    if (eql(t.columns[i].key, column)) return i;
  sim::host_command_failed("OLI", "UNKNOWN-COLUMN",
                           "The table " + table + " has no column " + prin1_to_string(column) + ".");
}

std::vector<std::vector<ref>>::iterator find_row(logical& t, const std::vector<ref>& keyvalues,
                                                 const std::string& table) {
  if (keyvalues.size() != t.keys.size())
    sim::host_command_failed(
        "OLI", "BAD-KEY", "The table " + table + " has " + std::to_string(t.keys.size()) + " key columns.");
  const auto key_of = [&](const std::vector<ref>& row) {
    std::vector<ref> key;
    for (std::size_t k : t.keys) key.push_back(row[k]);
    return key;
  };
  if (!t.indexed) {
    t.index.clear();
    for (std::size_t i = 0; i < t.rows.size(); ++i) t.index.emplace(key_text(key_of(t.rows[i])), i);
    t.indexed = true;
  }
  const auto matches = [&](const std::vector<ref>& row) {
    for (std::size_t k = 0; k < t.keys.size(); ++k)
      if (!equal(row[t.keys[k]], keyvalues[k])) return false;
    return true;
  };
  // Equal values print alike, so the printed text narrows the search; a key
  // not found by it is looked for in every row, as printing may differ.
  std::size_t first = t.rows.size();
  const auto [from, to] = t.index.equal_range(key_text(keyvalues));
  for (auto it = from; it != to; ++it)
    if (it->second < first && matches(t.rows[it->second])) first = it->second;
  if (first == t.rows.size()) return std::find_if(t.rows.begin(), t.rows.end(), matches);
  return t.rows.begin() + std::ptrdiff_t(first);
}

// Numbers by value, everything else by its printed text.
bool cell_less(const ref& a, const ref& b) {
  if (numberp(a) && numberp(b)) return as_number(a) < as_number(b);
  if (numberp(a) != numberp(b)) return numberp(a);
  return princ_to_string(a) < princ_to_string(b);
}

// The rows as the display shows them: sorted when a sort is set.
std::vector<std::vector<ref>> shown_rows(const shown_table& d) {
  std::vector<std::vector<ref>> rows = require_logical(d.def.logical_table).rows;
  if (truthy(d.sort_column)) {
    const logical& t = require_logical(d.def.logical_table);
    const std::size_t c = column_index(t, d.sort_column, d.def.logical_table);
    std::stable_sort(rows.begin(), rows.end(), [&](const auto& x, const auto& y) {
      return d.descending ? cell_less(y[c], x[c]) : cell_less(x[c], y[c]);
    });
  }
  return rows;
}

std::string cell_text(const ref& v) { return is_nil(v) ? "" : prin1_to_string(v); }

void show_tables() {
  auto& out = standard_output();
  out << "Tables:\n";
  for (const auto& [name, d] : displays()) {
    out << "  display " << name << " \"" << d.def.title << "\" of " << d.def.logical_table;
    if (d.shown)
      out << " shown at " << princ_to_string(d.position) << " of " << d.dialog;
    else
      out << " hidden";
    if (truthy(d.sort_column))
      out << ", sorted by " << prin1_to_string(d.sort_column)
          << (d.descending ? " descending" : " ascending");
    out << "\n    buttons: apply close help";
    for (const auto& b : d.def.buttons) out << " \"" << b.label << "\"";
    if (!d.def.apply_variable.empty()) out << "; apply sets " << d.def.apply_variable;
    out << '\n';
    if (!logicals().count(d.def.logical_table)) continue;
    const logical& t = logicals().at(d.def.logical_table);
    out << "    #";
    for (const auto& c : t.columns) out << " | " << c.title;
    out << '\n';
    int n = 0;
    for (const auto& row : shown_rows(d)) {
      out << "    " << ++n;
      for (const ref& v : row) out << " | " << cell_text(v);
      out << '\n';
    }
    if (d.def.filter_status_line) out << "    " << t.rows.size() << " rows\n";
  }
  for (const auto& [name, t] : logicals()) {
    if (std::any_of(displays().begin(), displays().end(),
                    [&](const auto& d) { return d.second.def.logical_table == name; }))
      continue;
    out << "  logical " << name << " (" << t.rows.size() << " rows, not displayed)\n";
    for (const auto& row : t.rows) {
      out << "   ";
      for (const ref& v : row) out << " | " << cell_text(v);
      out << '\n';
    }
  }
}

shown_table& require_shown(std::string_view arguments, std::vector<ref>& rest) {
  std::vector<ref> tokens;
  std::istringstream in{std::string(arguments)};
  reader r(in, "table command");
  ref form;
  while (r.read(form)) tokens.push_back(form);
  if (tokens.empty() || !stringp(tokens[0])) simple_error("Name the display table in double quotes.");
  shown_table& d = require_display(as_string(tokens[0]));
  if (!d.shown) simple_error("The table " + as_string(tokens[0]) + " is not shown.");
  rest.assign(tokens.begin() + 1, tokens.end());
  return d;
}

void apply_row(std::string_view arguments) {
  std::vector<ref> rest;
  shown_table& d = require_shown(arguments, rest);
  if (rest.size() != 1 || !integerp(rest[0])) simple_error("Give the number of the row to apply.");
  const std::vector<std::vector<ref>> rows = shown_rows(d);
  const std::int64_t n = as_integer(rest[0]);
  if (n < 1 || n > std::int64_t(rows.size()))
    simple_error("The table " + d.def.name + " has no row " + std::to_string(n) + ".");
  if (d.def.apply_variable.empty()) return;
  const logical& t = require_logical(d.def.logical_table);
  const std::vector<ref>& row = rows[std::size_t(n - 1)];
  ref value;
  if (t.keys.size() == 1) {
    value = row[t.keys[0]];
  } else {
    std::vector<ref> keys;
    for (std::size_t k : t.keys) keys.push_back(row[k]);
    value = list({ref(&intern("QUOTE", require_package("COMMON-LISP"))), list_from(keys)});
  }
  host::frame2::put_buffer(":" + d.def.apply_variable + " " + prin1_to_string(value));
}

void press_button(std::string_view arguments) {
  std::vector<ref> rest;
  shown_table& d = require_shown(arguments, rest);
  if (rest.size() != 1 || !stringp(rest[0])) simple_error("Give the button's label in double quotes.");
  const std::string label = as_string(rest[0]);
  if (label == "Close") {
    d.shown = false;
    return;
  }
  if (label == "Help") {
    if (d.def.help_url.empty()) simple_error("The table " + d.def.name + " has no help.");
    host::oli::sd_display_url(d.def.help_url);
    return;
  }
  for (const auto& b : d.def.buttons)
    if (b.label == label) {
      call(b.action);
      return;
    }
  simple_error("The table " + d.def.name + " has no button \"" + as_string(rest[0]) + "\".");
}

// A console command; its errors are the console's to report.
sim::host_command console_command(void (*run)(std::string_view)) {
  return [run](std::string_view arguments) {
    run(arguments);
    return true;
  };
}

const builtins_registration table_functions([] {
  sim::register_show_topic("TABLES", show_tables);
  sim::register_host_command("APPLY_TABLE_ROW", console_command(apply_row));
  sim::register_host_command("PRESS_TABLE_BUTTON", console_command(press_button));
});

}  // namespace

namespace host::oli {

void sd_create_logical_table(const std::string& name, const std::vector<table_column>& columns,
                             const std::vector<lisp::ref>& key_columns) {
  logical t;
  t.columns = columns;
  for (const ref& key : key_columns) t.keys.push_back(column_index(t, key, name));
  if (t.keys.empty()) sim::host_command_failed("OLI", "BAD-KEY", "The table " + name + " has no key column.");
  logicals()[name] = std::move(t);
}

void sd_change_logical_table_contents(const std::string& name,
                                      const std::vector<std::vector<lisp::ref>>& rows) {
  logical& t = require_logical(name);
  for (const auto& row : rows)
    if (row.size() != t.columns.size())
      sim::host_command_failed("OLI", "BAD-ROW",
                               "A row of the table " + name + " needs " + std::to_string(t.columns.size()) +
                                   " values, not " + std::to_string(row.size()) + ".");
  t.rows = rows;
  t.indexed = false;
}

bool sd_write_logical_table_cell(const std::string& name, const std::vector<lisp::ref>& keyvalues,
                                 const lisp::ref& column, const lisp::ref& value) {
  logical& t = require_logical(name);
  const std::size_t c = column_index(t, column, name);
  auto row = find_row(t, keyvalues, name);
  if (row == t.rows.end()) return false;
  (*row)[c] = value;
  if (std::find(t.keys.begin(), t.keys.end(), c) != t.keys.end()) t.indexed = false;
  return true;
}

bool sd_remove_logical_table_row(const std::string& name, const std::vector<lisp::ref>& keyvalues) {
  logical& t = require_logical(name);
  auto row = find_row(t, keyvalues, name);
  if (row == t.rows.end()) return false;
  t.rows.erase(row);
  t.indexed = false;
  return true;
}

std::vector<std::vector<lisp::ref>> sd_read_logical_table(const std::string& name) {
  return require_logical(name).rows;
}

void sd_create_display_table(const display_table& table) {
  require_logical(table.logical_table);
  shown_table d;
  d.def = table;
  displays()[table.name] = std::move(d);
}

void sd_show_display_table(const std::string& name, const std::string& dialog, const lisp::ref& position) {
  shown_table& d = require_display(name);
  d.shown = true;
  d.dialog = dialog;
  d.position = position;
}

void sd_hide_display_table(const std::string& name) { require_display(name).shown = false; }

void sd_sort_display_table(const std::string& name, const lisp::ref& column, bool descending) {
  shown_table& d = require_display(name);
  column_index(require_logical(d.def.logical_table), column, d.def.logical_table);
  d.sort_column = column;
  d.descending = descending;
}

}  // namespace host::oli
