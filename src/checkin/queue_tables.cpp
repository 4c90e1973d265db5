#include "checkin/queue_tables.h"

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

}  // namespace

void define_queue_tables() {
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
  std::vector<std::vector<hl::ref>> rows;
  for (const auto& [staged, s] : context.model_queue)
    rows.push_back(std::vector<hl::ref>{hl::make_string(analytics::model_status_instancename(*s)),
                                        pending_or_checked_in(*s), integer(long(s->tags.size())),
                                        integer(long(s->associated_drawings.size())),
                                        hl::make_string(staged)});
  host_ops::trapped([&] { host::oli::sd_change_logical_table_contents(model_queue_table, rows); });
}

void update_model_status(const analytics::model_status& status, const std::string& value) {
  host_ops::trapped([&] {
    host::oli::sd_write_logical_table_cell(model_queue_table, {hl::make_string(status.staged.string())},
                                           kw("STATUS"), kw(value));
  });
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
