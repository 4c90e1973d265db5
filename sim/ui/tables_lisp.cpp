// The Lisp functions of the host's tables (host/tables.h), for customization
// files and the console:
//   (oli:sd-create-logical-table name :columns ((:key "Title" :type) ...) :key-columns (:key ...))
//   (oli:sd-change-logical-table-contents name :contents ((value ...) ...))
//   (oli:sd-write-logical-table-cell name :keyvalues (k ...) :column :key :value v)
//   (oli:sd-remove-logical-table-row name :keyvalues (k ...))
//   (oli:sd-create-display-table name :table logical :title "T" :apply-variable "VAR"
//                                :column-sorting t :filter-status-line t :help-url "...")
//   (oli:sd-show-display-table name :position "DIALOG" :righttop t)
//   (oli:sd-hide-display-table name)
//   (oli:sd-sort-display-table name :column :key :descending nil)
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/tables.h"
#include "lisp/runtime.h"
#include "session/lisp_def.h"

namespace {

using namespace host::lisp;

std::string text_of(const ref& v) { return is_nil(v) ? std::string() : string_designator(v); }

std::vector<std::vector<ref>> rows_of(const ref& contents) {
  std::vector<std::vector<ref>> rows;
  for (const ref& row : list_to_vector(contents)) rows.push_back(list_to_vector(row));
  return rows;
}

const builtins_registration table_lisp_functions([] {
  sim::define_console_function("OLI", "SD-CREATE-LOGICAL-TABLE", 1, any_count, [](args_t a) {
    keyword_args k("OLI:SD-CREATE-LOGICAL-TABLE", a, 1, {"COLUMNS", "KEY-COLUMNS"});
    std::vector<host::oli::table_column> columns;
    for (const ref& c : list_to_vector(k.get("COLUMNS"))) {
      std::vector<ref> parts = list_to_vector(c);
      if (parts.size() != 3) simple_error("OLI:SD-CREATE-LOGICAL-TABLE: a column is (key title type)");
      columns.push_back({parts[0], text_of(parts[1]), parts[2]});
    }
    host::oli::sd_create_logical_table(text_of(a[0]), columns, list_to_vector(k.get("KEY-COLUMNS")));
    return a[0];
  });
  sim::define_console_function("OLI", "SD-CHANGE-LOGICAL-TABLE-CONTENTS", 1, 3, [](args_t a) {
    keyword_args k("OLI:SD-CHANGE-LOGICAL-TABLE-CONTENTS", a, 1, {"CONTENTS"});
    host::oli::sd_change_logical_table_contents(text_of(a[0]), rows_of(k.get("CONTENTS")));
    return t();
  });
  sim::define_console_function("OLI", "SD-WRITE-LOGICAL-TABLE-CELL", 1, 7, [](args_t a) {
    keyword_args k("OLI:SD-WRITE-LOGICAL-TABLE-CELL", a, 1, {"KEYVALUES", "COLUMN", "VALUE"});
    return boolean(host::oli::sd_write_logical_table_cell(text_of(a[0]), list_to_vector(k.get("KEYVALUES")),
                                                          k.get("COLUMN"), k.get("VALUE")));
  });
  sim::define_console_function("OLI", "SD-REMOVE-LOGICAL-TABLE-ROW", 1, 3, [](args_t a) {
    keyword_args k("OLI:SD-REMOVE-LOGICAL-TABLE-ROW", a, 1, {"KEYVALUES"});
    return boolean(host::oli::sd_remove_logical_table_row(text_of(a[0]), list_to_vector(k.get("KEYVALUES"))));
  });
  sim::define_console_function("OLI", "SD-CREATE-DISPLAY-TABLE", 1, any_count, [](args_t a) {
    keyword_args k("OLI:SD-CREATE-DISPLAY-TABLE", a, 1,
                   {"TABLE", "TITLE", "APPLY-VARIABLE", "COLUMN-SORTING", "FILTER-STATUS-LINE", "HELP-URL"});
    host::oli::display_table d;
    d.name = text_of(a[0]);
    d.logical_table = text_of(k.get("TABLE"));
    d.title = text_of(k.get("TITLE"));
    d.apply_variable = text_of(k.get("APPLY-VARIABLE"));
    d.column_sorting = truthy(k.get("COLUMN-SORTING"));
    d.filter_status_line = truthy(k.get("FILTER-STATUS-LINE"));
    d.help_url = text_of(k.get("HELP-URL"));
    host::oli::sd_create_display_table(d);
    return a[0];
  });
  sim::define_console_function("OLI", "SD-SHOW-DISPLAY-TABLE", 1, 5, [](args_t a) {
    keyword_args k("OLI:SD-SHOW-DISPLAY-TABLE", a, 1, {"POSITION", "RIGHTTOP"});
    host::oli::sd_show_display_table(text_of(a[0]), text_of(k.get("POSITION")),
                                     truthy(k.get("RIGHTTOP")) ? ref(&keyword("RIGHTTOP")) : nil());
    return t();
  });
  sim::define_console_function("OLI", "SD-HIDE-DISPLAY-TABLE", 1, 1, [](args_t a) {
    host::oli::sd_hide_display_table(text_of(a[0]));
    return t();
  });
  sim::define_console_function("OLI", "SD-SORT-DISPLAY-TABLE", 1, 5, [](args_t a) {
    keyword_args k("OLI:SD-SORT-DISPLAY-TABLE", a, 1, {"COLUMN", "DESCENDING"});
    host::oli::sd_sort_display_table(text_of(a[0]), k.get("COLUMN"), truthy(k.get("DESCENDING")));
    return t();
  });
});

}  // namespace
