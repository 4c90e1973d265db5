// The "Model Name Conflicts" group of the assisted check-in: the Name
// Conflicts table, choosing a conflict and a component, highlighting and
// focusing it, setting up and applying a resolution, Model Manager's
// comparison and reload, and the structure-browser cell that marks
// conflicting names.
#pragma once

#include <string>
#include <vector>

#include "checkin/check_in_context.h"
#include "host/dialogs.h"

namespace vtm::checkin {

inline constexpr const char* name_conflict_table = "VANTREL-NAME-CONFLICT-QUEUE";
inline constexpr const char* name_conflict_view = "VANTREL-NAME-CONFLICT-QUEUE-VIEW";

// The table, its display and the Lisp functions FORMAT-NAME-CONFLICT-CELL,
// MM-RELOAD-HANDLER and RETRY-NAME-QUERIES.
void define_name_conflict_panel();

void set_name_conflict_table(const check_in_context& context);
void update_name_conflict_state(const std::string& name, const std::string& state);
void remove_name_from_table(const std::string& name);
void show_name_conflict_table();
void hide_name_conflict_table();

// "Local x2" / "Database x3" for a node whose component carries a
// conflicting name of the current model; nothing otherwise.
std::optional<std::string> format_name_conflict_cell(const host::lisp::ref& node);

// After-input reactions and push actions of the group.
void on_model_name_conflicts(host::dialogs::dialog_context& dialog, const host::lisp::ref& value);
void on_modelname(host::dialogs::dialog_context& dialog, const host::lisp::ref& value);
void on_current_model_name(host::dialogs::dialog_context& dialog, const host::lisp::ref& value);
void focus_selected_component(host::dialogs::dialog_context& dialog);
void on_component_count(host::dialogs::dialog_context& dialog, const host::lisp::ref& value);
void compare(host::dialogs::dialog_context& dialog);
void apply_resolution(host::dialogs::dialog_context& dialog);
void on_db_finish_reload(host::dialogs::dialog_context& dialog, const host::lisp::ref& value);

// What a conflict may be resolved by, after ready-name-conflict-resolution:
// the choices offered, the one preset, and what CONFLICT_TYPE shows.
struct resolution_choices {
  std::vector<std::string> options;  // keyword names, e.g. "RENAME-LOCAL"
  std::string preset;
  std::string conflict_type;
  bool same_type = false;  // reference and check model are of one type: they compare
};
resolution_choices conflict_resolution_choices(const model_name_info& info);

// Sets up the resolution options of the conflict (ready-name-conflict-resolution
// first) and shows them.
void configure_conflict_resolution(host::dialogs::dialog_context& dialog, model_name_info& info);

// The name's query failed: its elid holds Model Manager's error message.
bool name_query_failed_p(const model_name_info& info);

// Queries the names whose query failed again, uncached; the names that no
// longer conflict leave the context.
void requery_failed_names(check_in_context& context);
// The same for the installed context, then re-enters the dialog.
void retry_failed_name_queries();

// After Model Manager's comparison ended the dialog: its viewports go and the
// database model it loaded becomes the conflict's check model.
void finish_pending_comparison(check_in_context& context, model_name_info& info);

// Destroys the tracking features of the session and forgets the conflicts.
void destroy_tracking_features(host::dialogs::dialog_context& dialog);

}  // namespace vtm::checkin
