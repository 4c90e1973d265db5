#include "checkin/name_conflict_panel.h"

#include <utility>

#include "checkin/assisted_checkin_dia.h"
#include "checkin/checkin_host.h"
#include "checkin/checkin_session.h"
#include "checkin/name_query.h"
#include "checkin/name_resolution.h"
#include "checkin/name_tracking.h"
#include "core/module_env.h"
#include "host/browser.h"
#include "host/clusters.h"
#include "host/command_errors.h"
#include "host/events.h"
#include "host/features.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/mm_commands.h"
#include "host/mm_compare.h"
#include "host/model_tree.h"
#include "host/tables.h"
#include "host/undo.h"
#include "host/viewports.h"
#include "records/model_tree.h"

namespace vtm::checkin {

namespace hl = host::lisp;
namespace dlg = host::dialogs;

namespace {

hl::ref kw(std::string_view name) { return hl::ref(&hl::keyword(name)); }
hl::ref str(const std::string& s) { return hl::make_string(s); }
void print(const std::string& text) { hl::standard_output() << text; }

records::host_cluster_session& session() { return checkin_cluster_session(); }

hl::ref info_text(const name_info_ptr& info) { return info ? str(info->model_name) : hl::nil(); }

hl::ref optional_text(const std::optional<std::string>& s) { return s ? str(*s) : str(""); }

}  // namespace

bool name_query_failed_p(const model_name_info& i) {
  return i.elid && i.elid->find("ERROR") != std::string::npos;
}

namespace {

hl::ref source_of(const model_name_info& i) {
  if (i.db_model) return kw("DB+MODEL");
  if (name_query_failed_p(i)) return kw("ERROR");
  if (i.elid) return kw("DB");
  return kw("MODEL");
}

std::vector<hl::ref> conflict_row(const std::string& name, const model_name_info& i) {
  const bool pending = name_has_doubles_p(i, session());
  return {str(name),
          optional_text(i.db_model_type),
          kw(i.elid ? "DATABASE" : "LOCAL"),
          kw(pending ? "PENDING" : "RESOLVED"),
          optional_text(i.elid),
          source_of(i),
          optional_text(i.db_model_state),
          hl::make_integer(name_double_count(i, session()))};
}

const char* handler_name = "MM-RELOAD-HANDLER";

// The conflict whose database reload is under way.
name_info_ptr& reloading_conflict() {
  static name_info_ptr conflict;
  return conflict;
}

hl::ref reload_handler() { return hl::ref(&core::main_symbol(handler_name)); }

// The entity-type name of a position's instance.
std::string entity_type_at(const records::model_path& at) {
  return session().entity_type_name(session().get_instance(at));
}

void set_resolution_options(dlg::dialog_context& dialog, const std::vector<std::string>& options,
                            const std::string& preset) {
  std::vector<hl::ref> choices;
  for (const std::string& o : options) choices.push_back(kw(o));
  dialog.set_options("RESOLUTION", choices);
  dialog.set_value("RESOLUTION", kw(preset));
}

void show_enable(dlg::dialog_context& dialog, const char* variable, bool on) {
  dialog.set_visible(variable, on);
  dialog.set_enabled(variable, on);
}

// The panel after a resolution changed the model: the browser, the
// comparison buffer, the conflicts left, and the count of the conflict.
void after_change(dlg::dialog_context& dialog, check_in_context& context, const name_info_ptr& conflict) {
  host_ops::trapped([] { host_ops::refresh_browser(); });
  host::modelmanager::reset_model_buffer();
  cleanup_conflict_queue(context, session());
  // The count reaction completes the conflict that went away; the cleanup
  // has already let go of it.
  if (conflict && !context.current_name_conflict) context.current_name_conflict = conflict;
  dialog.set_value("COMPONENT_COUNT", hl::make_integer(conflict && name_has_doubles_p(*conflict, session())
                                                           ? name_double_count(*conflict, session())
                                                           : 0));
}

}  // namespace

void define_name_conflict_panel() {
  host_ops::trapped([] {
    auto column = [](const char* key, const char* title, const char* type) {
      return host::oli::table_column{kw(key), title, kw(type)};
    };
    host::oli::sd_create_logical_table(
        name_conflict_table,
        {column("MODELNAME", "Model Name", "STRING"), column("MODEL-TYPE", "Type", "STRING"),
         column("CONFLICT-TYPE", "Conflict Type", "KEYWORD"), column("CONFLICT-STATE", "State", "KEYWORD"),
         column("ELID", "ELID", "STRING"), column("SOURCE", "Source", "KEYWORD"),
         column("DB-STATE", "DB State", "STRING"), column("COMPONENTS", "Components", "NUMBER")},
        {kw("MODELNAME")});
    host::oli::display_table view;
    view.name = name_conflict_view;
    view.logical_table = name_conflict_table;
    view.title = "Name Conflicts";
    view.column_sorting = view.filter_status_line = true;
    view.width = std::pair{100, 800};
    view.height = std::pair{80, 600};
    view.apply_variable = "MODELNAME";
    view.buttons = {{"Retry", hl::ref(&core::main_symbol("RETRY-NAME-QUERIES"))}};
    view.help_url = hl::format("~A/~A.dia.html#NameConflictSelection", str(core::main_package().name),
                               str(assisted_checkin_dialog));
    host::oli::sd_create_display_table(view);
    host::oli::sd_sort_display_table(name_conflict_view, kw("MODEL-TYPE"), false);
  });
  core::define_function("FORMAT-NAME-CONFLICT-CELL", 1, 1, [](hl::args_t args) {
    // The browser asks for every node it draws: a node it cannot judge
    // stays empty rather than stop the drawing.
    std::optional<std::string> cell;
    try {
      cell = format_name_conflict_cell(args[0]);
    } catch (const hl::lisp_error&) {
      host::system::reset_lisp_error_active();
    }
    return cell ? str(*cell) : hl::nil();
  });
  core::define_function(handler_name, 1, 1, [](hl::args_t args) {
    const std::shared_ptr<check_in_context>& context = mm_check_in_context();
    const hl::ref& name = args[0];
    if (context && hl::stringp(name) && context->mm_cmd == mm_command::reload) {
      const name_info_ptr* info = context->current_conflicts.find(hl::as_string(name));
      if (info && (*info)->local_model) {
        if (hl::is_nil(
                host::modelmanager::get_docelid_from_object(records::to_sel_item(*(*info)->local_model))))
          return hl::nil();  // the reloaded contents has not arrived yet
        context->mm_cmd = mm_command::none;
        host::event::unsubscribe_event(host::event::changed_parcel_tree_event(), reload_handler());
        host::frame2::put_buffer(hl::format("VANTREL_MM_ASSISTED_CHECKIN :DB_FINISH_RELOAD ~S", name));
        return hl::nil();
      }
    }
    host::event::unsubscribe_event(host::event::changed_parcel_tree_event(), reload_handler());
    return hl::nil();
  });
  core::define_function("RETRY-NAME-QUERIES", 0, 0, [](hl::args_t) {
    retry_failed_name_queries();
    return hl::nil();
  });
}

void set_name_conflict_table(const check_in_context& context) {
  std::vector<std::vector<hl::ref>> rows;
  for (const auto& [name, info] : context.current_conflicts) rows.push_back(conflict_row(name, *info));
  host_ops::trapped([&] { host::oli::sd_change_logical_table_contents(name_conflict_table, rows); });
}

void update_name_conflict_state(const std::string& name, const std::string& state) {
  host_ops::trapped([&] {
    host::oli::sd_write_logical_table_cell(name_conflict_table, {str(name)}, kw("CONFLICT-STATE"), kw(state));
  });
}

void remove_name_from_table(const std::string& name) {
  host_ops::trapped([&] { host::oli::sd_remove_logical_table_row(name_conflict_table, {str(name)}); });
}

void show_name_conflict_table() {
  host_ops::trapped(
      [] { host::oli::sd_show_display_table(name_conflict_view, assisted_checkin_dialog, kw("RIGHTTOP")); });
}

void hide_name_conflict_table() {
  host_ops::trapped([] { host::oli::sd_hide_display_table(name_conflict_view); });
}

std::optional<std::string> format_name_conflict_cell(const hl::ref& node) {
  const std::shared_ptr<check_in_context>& context = mm_check_in_context();
  if (!context || !context->current_model()) return std::nullopt;
  const hl::ref objpath = host::g_browser::browsernode_objpath(node);
  if (!hl::stringp(objpath)) return std::nullopt;
  const std::string path = hl::as_string(objpath);
  if (path.find(analytics::model_status_instancename(*context->current_model())) == std::string::npos)
    return std::nullopt;
  const hl::ref object = host::oli::sd_pathname_to_obj(path);
  if (hl::is_nil(object)) return std::nullopt;
  const name_info_ptr* info =
      context->current_conflicts.find(session().name(host::oli::get_contents(object)));
  if (!info) return std::nullopt;
  return hl::format("~A x~D", str((*info)->elid ? "Database" : "Local"),
                    hl::make_integer(name_double_count(**info, session())));
}

void on_model_name_conflicts(dlg::dialog_context& dialog, const hl::ref& value) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context) return;
  print(hl::format("MODEL_NAME_CONFLICTS after input ~A~%", value));
  if (integer_value(value) > 0) {
    dialog.set_enabled("CHECK_IN", false);
    for (const char* v : {"CURRENT_MODEL_NAME", "COMPONENT_COUNT", "CONFLICT_TYPE"})
      show_enable(dialog, v, true);
    show_name_conflict_table();
  } else {
    update_check_in_enabled(dialog);
    dialog.set_enabled("CURRENT_MODEL_NAME", false);
    dialog.set_visible("COMPONENT_COUNT", false);
    dialog.set_visible("CONFLICT_TYPE", false);
  }
  set_name_conflict_table(*context);
}

void on_modelname(dlg::dialog_context& dialog, const hl::ref& value) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context) return;
  const name_info_ptr* info = context->current_conflicts.find(text_of(value));
  print(hl::format("Name ~A -> ~A~%", value, info ? info_text(*info) : hl::nil()));
  if (!info || (*info)->cluster_shares.empty()) return;
  const std::optional<records::model_path> at = first_share(**info, (*info)->cluster_shares.front());
  if (!at) return;
  dialog.set_enabled("CURRENT_MODEL_NAME", true);
  dialog.set_value("CURRENT_MODEL_NAME", records::to_sel_item(*at));
}

void on_current_model_name(dlg::dialog_context& dialog, const hl::ref& value) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context) return;
  name_info_ptr conflict;
  if (host::elan::sel_item_p(value)) {
    const name_info_ptr* info =
        context->current_conflicts.find(session().name(host::oli::get_contents(value)));
    if (info) conflict = *info;
  }
  context->current_name_conflict = conflict;
  print(hl::format("CURRENT_MODEL_NAME after input name ~A ~%", info_text(conflict)));
  if (!conflict) {
    for (const char* v :
         {"COMPARE", "RESOLUTION", "RESCAN_CURRENT_MODEL", "SAVE_CURRENT_MODEL", "APPLY_RESOLUTION"})
      show_enable(dialog, v, false);
    dialog.set_options("RESOLUTION", {str("-")});
    dialog.set_value("RESOLUTION", str("-"));
    return;
  }
  dialog.set_value("CONFLICT_TYPE", str(conflict->elid_text ? *conflict->elid_text : "Local"));
  host_ops::trapped([&] {
    host::oli::browser_search search;
    search.name = "ModelNameConflicts";
    search.title = "Model Name Search";
    search.criteria = {{kw("CONTENTS-NAME"), kw("EQUALS"), str(conflict->model_name)}};
    host::oli::sd_create_browser_search("parcel-gbrowser", search);
    host::oli::sd_set_current_browser_search("parcel-gbrowser", "ModelNameConflicts", true);
  });
  focus_selected_component(dialog);
  dialog.set_value("COMPONENT_COUNT", hl::make_integer(name_double_count(*conflict, session())));
}

void focus_selected_component(dlg::dialog_context& dialog) {
  const hl::ref at = dialog.value("CURRENT_MODEL_NAME");
  if (!host::elan::sel_item_p(at) || !toggle_on(dialog.value("FOCUS_SELECTED_COMPONENT"))) return;
  host_ops::trapped([&] {
    const hl::ref vp = host::oli::sd_inq_current_vp();
    host::elan_ui::set_vp_drawlist(vp, hl::list({at}));
    host::frame2_ui::fit_vp(vp);
  });
}

resolution_choices conflict_resolution_choices(const model_name_info& info) {
  const std::string reference = info.local_model ? entity_type_at(*info.local_model) : std::string();
  const std::string check = info.db_model ? entity_type_at(*info.db_model) : info.db_model_type.value_or("");
  resolution_choices choices;
  choices.same_type = reference == check;
  if (info.elid) {
    choices.conflict_type = choices.same_type ? info.elid_text.value_or("") : "Type Mismatch";
    if (choices.same_type)
      choices.options = {"RENAME-LOCAL", "REPLACE-LOCAL-BY-DB"}, choices.preset = "REPLACE-LOCAL-BY-DB";
    else
      choices.options = {"RENAME-LOCAL"}, choices.preset = "RENAME-LOCAL";
  } else {
    choices.conflict_type = choices.same_type ? "Local" : "Type Mismatch";
    if (choices.same_type)
      choices.options = {"RENAME-LOCAL", "RENAME-CHECK", "REPLACE-REFERENCE-BY-CHECK",
                         "REPLACE-CHECK-BY-REFERENCE"},
      choices.preset = "REPLACE-REFERENCE-BY-CHECK";
    else
      choices.options = {"RENAME-LOCAL", "RENAME-CHECK"}, choices.preset = "RENAME-LOCAL";
  }
  return choices;
}

void configure_conflict_resolution(dlg::dialog_context& dialog, model_name_info& info) {
  ready_name_conflict_resolution(info, session());
  const resolution_choices choices = conflict_resolution_choices(info);
  dialog.set_value("CONFLICT_TYPE", str(choices.conflict_type));
  set_resolution_options(dialog, choices.options, choices.preset);
  dialog.set_visible("COMPARE", true);
  dialog.set_enabled("COMPARE", choices.same_type);
  for (const char* v : {"RESOLUTION", "RESCAN_CURRENT_MODEL", "SAVE_CURRENT_MODEL", "APPLY_RESOLUTION"})
    show_enable(dialog, v, true);
}

void on_component_count(dlg::dialog_context& dialog, const hl::ref& value) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context) return;
  print(hl::format("COMPONENT_COUNT after input ~A~%", value));
  const name_info_ptr conflict = context->current_name_conflict;
  if (integer_value(value) != 0) {
    if (!conflict) return;
    print(hl::format("Setting up for Compare/Resolve ~A~%", info_text(conflict)));
    configure_conflict_resolution(dialog, *conflict);
    return;
  }
  if (conflict && !name_has_doubles_p(*conflict, session())) {
    const model_status_ptr& model = context->current_model();
    if (conflict->db_model && model) {
      const hl::ref top = analytics::model_status_selitem(*model);
      if (hl::truthy(top) &&
          !records::get_parent_child_relationship(records::from_sel_item(top), *conflict->db_model)) {
        // A database model loaded only to be compared.
        host_ops::trapped([&] { host::elan::delete_3d(records::to_sel_item(*conflict->db_model)); });
        conflict->db_model.reset();
      }
    }
    update_name_conflict_state(conflict->model_name, "RESOLVED");
    context->current_name_conflict.reset();
  }
  host_ops::trapped([] { host::oli::sd_delete_browser_search("parcel-gbrowser", "ModelNameConflicts"); });
  dialog.set_value("MODEL_NAME_CONFLICTS",
                   hl::make_integer(check_in_context_remaining_name_conflicts(*context)));
  if (integer_value(dialog.value("DRAWING_COUNT")) == 0) dialog.set_value("CURRENT_MODEL_NAME", hl::nil());
}

void compare(dlg::dialog_context&) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context || !context->current_name_conflict) return;
  context->mm_cmd = mm_command::compare;
  compare_name_doubles(*context->current_name_conflict);
}

void apply_resolution(dlg::dialog_context& dialog) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  const hl::ref chosen = dialog.value("RESOLUTION");
  print(hl::format("APPLY_RESOLUTION push action for ~A~%", chosen));
  if (!context || !context->current_name_conflict) return;
  const name_info_ptr conflict = context->current_name_conflict;
  const std::optional<resolution> how =
      hl::keywordp(chosen) ? resolution_from_keyword(hl::as_symbol(chosen).name) : std::nullopt;
  if (resolve_name_conflict(*conflict, how, session()) == resolution_result::reload) {
    host::event::subscribe_event(host::event::changed_parcel_tree_event(), reload_handler(),
                                 str(conflict->model_name));
    context->mm_cmd = mm_command::reload;
    reloading_conflict() = conflict;
    return;
  }
  after_change(dialog, *context, conflict);
}

void on_db_finish_reload(dlg::dialog_context& dialog, const hl::ref& value) {
  // The record kept when the reload started: taking up the context again
  // drops the name once the reload has resolved it, and the completion
  // still has to put away what the comparison left in session.
  name_info_ptr conflict = std::exchange(reloading_conflict(), nullptr);
  const std::shared_ptr<check_in_context> before = mm_check_in_context();
  initialize_check_in_context(dialog);
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context || context != before || !conflict || conflict->model_name != text_of(value)) conflict.reset();
  print(hl::format("DB_FINISH_RELOAD ~A~%", info_text(conflict)));
  if (!context || !conflict) return;
  host_ops::trapped([] { host::dsm::note_state(host::k2::k2_state_manager()); });
  conflict->local_model.reset();
  update_model_name_info(*conflict, session());
  after_change(dialog, *context, conflict);
}

void requery_failed_names(check_in_context& context) {
  std::vector<std::string> failed;
  for (const auto& [name, info] : context.current_conflicts)
    if (name_query_failed_p(*info)) failed.push_back(name);
  for (const std::string& name : failed) {
    const name_info_ptr info = *context.current_conflicts.find(name);
    query_model_name_info(*info, false);
    if (name_has_doubles_p(*info, session())) continue;
    if (context.current_name_conflict == info) context.current_name_conflict.reset();
    context.current_conflicts.erase(name);
  }
}

void retry_failed_name_queries() {
  if (const std::shared_ptr<check_in_context>& context = mm_check_in_context())
    requery_failed_names(*context);
  host::frame2::put_buffer(assisted_checkin_dialog);
}

void finish_pending_comparison(check_in_context& context, model_name_info& info) {
  if (context.mm_cmd != mm_command::compare) return;
  context.mm_cmd = mm_command::none;
  host_ops::trapped([] {
    host::modelmanager::db_compare_delete_viewports();
    host::modelmanager::db_compare_update_standard_viewport();
  });
  const hl::ref local = hl::symbol_value(host::modelmanager::local_model_variable());
  if (hl::is_nil(local) || !info.local_model) return;
  if (session().sysid(host::oli::get_contents(local)) !=
      session().sysid(session().get_contents(*info.local_model)))
    return;
  const hl::ref db = hl::symbol_value(host::modelmanager::db_model_variable());
  if (!host::elan::sel_item_p(db)) return;
  info.db_model = records::from_sel_item(db);
  set_name_conflict_table(context);
}

void destroy_tracking_features(dlg::dialog_context& dialog) {
  host_ops::trapped([] {
    for (const hl::ref& feature : hl::list_to_vector(
             host::k2::search_universal_feature(host::oli::get_instance(host::elan_ui::get_root_sel_item()))))
      if (hl::truthy(hl::getf(host::k2::universal_feature_properties(feature), kw(tracking_name_property))))
        host::dsm::destroy(feature);
    host::dsm::note_state(host::k2::k2_state_manager());
  });
  const std::shared_ptr<check_in_context>& context = mm_check_in_context();
  if (!context) return;
  context->current_name_conflict.reset();
  context->current_conflicts.clear();
  dialog.set_value("MODEL_NAME_CONFLICTS", hl::make_integer(0));
  dialog.set_value("COMPONENT_COUNT", hl::make_integer(0));
}

}  // namespace vtm::checkin
