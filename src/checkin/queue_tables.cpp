#include "checkin/queue_tables.h"

#include <algorithm>

#include "checkin/checkin_host.h"
#include "checkin/checkin_session.h"
#include "core/help.h"
#include "core/module_env.h"
#include "host/lisp/format.h"
#include "host/tables.h"

namespace vtm::checkin {

namespace hl = host::lisp;

namespace {

constexpr const char* dialog_name = "VANTREL_MM_ASSISTED_CHECKIN";

hl::ref kw(std::string_view name) { return hl::ref(&hl::keyword(name)); }

std::string help_page(const char* anchor) {
  return hl::format("~A/~A.dia.html#~A", hl::make_string(core::main_package().name),
                    hl::make_string(dialog_name), hl::make_string(anchor));
}

hl::ref tags_list(const analytics::record_status& s) {
  std::vector<hl::ref> tags;
  for (const core::keyword_name& t : s.tags) tags.push_back(kw(t.name));
  return hl::list_from(tags);
}

hl::ref pending_or_checked_in(const analytics::record_status& s) {
  return kw(has_tag(s, "CHECKED-IN") ? "CHECKED-IN" : "PENDING");
}

// A queue's view: sortable and filtered, a row applied as input of the
// variable, its help on the dialog's page at the anchor.
void create_queue_view(const char* view, const char* table, const char* title, const char* apply_variable,
                       const char* help_anchor) {
  host::oli::display_table d;
  d.name = view;
  d.logical_table = table;
  d.title = title;
  d.column_sorting = d.filter_status_line = true;
  d.apply_variable = apply_variable;
  d.help_url = help_page(help_anchor);
  host::oli::sd_create_display_table(d);
}

// An Import Queue row as the host holds it, and the status it was made of.
struct model_row {
  std::string name;
  std::string status;
  long errors = 0;
  long drawings = 0;
  std::string staged;
  model_status_ptr of;  // held, so that no other status is ever taken for it
};

// The Import Queue's rows as last written: the dialog fills the table each
// time it starts, once or more a model checked in, and writing only the
// cells that changed keeps that cost apart from the queue's length. Empty
// when the host's rows are not known.
std::vector<model_row>& written_model_rows() {
  static std::vector<model_row> rows;
  return rows;
}

const char* status_of(const analytics::model_status& s) {
  return has_tag(s, "CHECKED-IN") ? "CHECKED-IN" : "PENDING";
}

model_row model_row_of(const std::string& staged, const model_status_ptr& s) {
  return {analytics::model_status_instancename(*s), status_of(*s), long(s->tags.size()),
          long(s->associated_drawings.size()),      staged,        s};
}

std::vector<hl::ref> model_row_values(const model_row& row) {
  return {hl::make_string(row.name), kw(row.status), integer(row.errors), integer(row.drawings),
          hl::make_string(row.staged)};
}

bool write_model_cell(const std::string& staged, const char* column, const hl::ref& value) {
  bool written = false;
  host_ops::trapped([&] {
    written = host::oli::sd_write_logical_table_cell(model_queue_table, {hl::make_string(staged)}, kw(column),
                                                     value);
  });
  return written;
}

// Writes the cells that changed in the rows written before, when the queue
// holds the same statuses in the same order: a status's name does not
// change, so its other cells are all there is to compare, and a start costs
// no row built anew. False when it does not apply or the host had no row to
// write into.
bool write_changed_model_cells(const check_in_context& context) {
  std::vector<model_row>& written = written_model_rows();
  if (written.empty() || written.size() != context.model_queue.size()) return false;
  std::size_t i = 0;
  for (const auto& [staged, s] : context.model_queue)
    if (written[i].of != s || written[i++].staged != staged) return false;
  i = 0;
  for (const auto& [staged, s] : context.model_queue) {
    model_row& row = written[i++];
    const char* status = status_of(*s);
    const long errors = long(s->tags.size()), drawings = long(s->associated_drawings.size());
    if ((row.status != status && !write_model_cell(staged, "STATUS", kw(status))) ||
        (row.errors != errors && !write_model_cell(staged, "ERRORS", integer(errors))) ||
        (row.drawings != drawings && !write_model_cell(staged, "DRAWINGS", integer(drawings))))
      return false;
    row.status = status;
    row.errors = errors;
    row.drawings = drawings;
  }
  return true;
}

}  // namespace

void define_queue_tables() {
  written_model_rows().clear();
  auto column = [](const char* key, const char* title, const char* type) {
    return host::oli::table_column{kw(key), title, kw(type)};
  };
  host_ops::trapped([&] {
    host::oli::sd_create_logical_table(
        model_queue_table,
        {column("MODEL", "Model", "STRING"), column("STATUS", "Status", "KEYWORD"),
         column("ERRORS", "Errors", "NUMBER"), column("DRAWINGS", "Drawings", "NUMBER"),
         column("STAGED", "Staging Location", "STRING")},
        {kw("STAGED")});
    create_queue_view(model_queue_view, model_queue_table, "Import Queue", "STAGED", "ModelSelection");

    host::oli::sd_create_logical_table(
        drawing_queue_table,
        {column("DRAWINGNAME", "Name", "STRING"), column("STATUS", "Status", "KEYWORD"),
         column("ASSOC", "Model Assoc.", "KEYWORD"), column("STAGED_DWG", "Staging Location", "STRING")},
        {kw("STAGED_DWG")});
    create_queue_view(drawing_queue_view, drawing_queue_table, "Annotation Drawings", "STAGED_DWG",
                      "DrawingSelection");
  });
}

void set_model_table(const check_in_context& context) {
  if (write_changed_model_cells(context)) return;
  std::vector<model_row>& written = written_model_rows();
  written.clear();
  std::vector<model_row> rows;
  rows.reserve(context.model_queue.size());
  for (const auto& [staged, s] : context.model_queue) rows.push_back(model_row_of(staged, s));
  std::vector<std::vector<hl::ref>> values;
  values.reserve(rows.size());
  for (const model_row& row : rows) values.push_back(model_row_values(row));
  if (host_ops::trapped([&] { host::oli::sd_change_logical_table_contents(model_queue_table, values); }))
    written = std::move(rows);
}

void update_model_status(const analytics::model_status& status, const std::string& value) {
  const std::string staged = status.staged.string();
  const bool done = write_model_cell(staged, "STATUS", kw(value));
  std::vector<model_row>& written = written_model_rows();
  const auto row =
      std::find_if(written.begin(), written.end(), [&](const model_row& r) { return r.staged == staged; });
  if (done && row != written.end())
    row->status = value;
  else if (row != written.end())
    written.clear();
}

void set_drawing_table(const std::vector<drawing_status_ptr>& drawings) {
  std::vector<std::vector<hl::ref>> rows;
  for (const drawing_status_ptr& d : drawings)
    if (d)
      rows.push_back(std::vector<hl::ref>{d->name ? hl::make_string(*d->name) : hl::nil(),
                                          pending_or_checked_in(*d), tags_list(*d),
                                          hl::make_string(d->staged.string())});
  host_ops::trapped([&] { host::oli::sd_change_logical_table_contents(drawing_queue_table, rows); });
}

void update_drawing_status(const std::string& key, const std::string& value) {
  host_ops::trapped([&] {
    host::oli::sd_write_logical_table_cell(drawing_queue_table, {hl::make_string(key)}, kw("STATUS"),
                                           kw(value));
  });
}

void remove_drawing_from_table(const std::string& key) {
  host_ops::trapped(
      [&] { host::oli::sd_remove_logical_table_row(drawing_queue_table, {hl::make_string(key)}); });
}

void show_model_table() {
  host_ops::trapped([] { host::oli::sd_show_display_table(model_queue_view, dialog_name, kw("RIGHTTOP")); });
}
void hide_model_table() {
  host_ops::trapped([] { host::oli::sd_hide_display_table(model_queue_view); });
}
void show_drawing_table() {
  host_ops::trapped(
      [] { host::oli::sd_show_display_table(drawing_queue_view, dialog_name, kw("RIGHTTOP")); });
}
void hide_drawing_table() {
  host_ops::trapped([] { host::oli::sd_hide_display_table(drawing_queue_view); });
}

}  // namespace vtm::checkin
