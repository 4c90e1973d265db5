#include "checkin/assisted_checkin_dia.h"

#include <cctype>
#include <filesystem>

#include "analytics/migration_analytics.h"
#include "analytics/staging_outputs.h"
#include "checkin/batch_checkin.h"
#include "checkin/checkin_host.h"
#include "checkin/checkin_session.h"
#include "checkin/drawing_checkin.h"
#include "checkin/name_conflict_panel.h"
#include "checkin/queue_tables.h"
#include "core/help.h"
#include "core/module_env.h"
#include "core/vtm.h"
#include "core/vtm_doctools.h"
#include "host/browser.h"
#include "host/clusters.h"
#include "host/command_errors.h"
#include "host/events.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/mm_status.h"
#include "host/mm_store.h"
#include "host/model_tree.h"
#include "host/run_outcome.h"
#include "host/ui.h"
#include "records/cluster_files.h"
#include "records/model_tree.h"

namespace vtm::checkin {

namespace fs = std::filesystem;
namespace hl = host::lisp;
namespace dlg = host::dialogs;
using core::kw;

namespace {

void print(const std::string& text) { hl::standard_output() << text; }

std::string lowercase(std::string s) {
  for (char& ch : s) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

records::host_cluster_session& session() { return checkin_cluster_session(); }

hl::ref current_model_path(const check_in_context& context) {
  return context.current_model() ? analytics::model_status_selitem(*context.current_model()) : hl::nil();
}

// --- Variables -------------------------------------------------------------

dlg::variable_def variable(const std::string& name, const std::string& title, dlg::value_kind kind,
                           dlg::reaction after_input = {}) {
  dlg::variable_def v;
  v.name = name;
  v.title = title;
  v.kind = kind;
  v.after_input = std::move(after_input);
  if (kind == dlg::value_kind::subtitle || kind == dlg::value_kind::group_title) v.input = false;
  return v;
}

dlg::variable_def display_number(const std::string& name, const std::string& title, dlg::reaction after_input,
                                 bool visible = true) {
  dlg::variable_def v = variable(name, title, dlg::value_kind::number, std::move(after_input));
  v.initial = integer(0);
  v.input = false;
  v.visible = visible;
  return v;
}

dlg::variable_def button(const std::string& name, const std::string& title, dlg::action press,
                         bool available = true) {
  dlg::variable_def v =
      variable(name, title, dlg::value_kind::push_action,
               [press = std::move(press)](dlg::dialog_context& c, const hl::ref&) { press(c); });
  v.visible = v.enabled = available;
  return v;
}

dlg::variable_def toggle(const std::string& name, const std::string& title, const char* layout,
                         dlg::reaction after_input) {
  dlg::variable_def v = variable(name, title, dlg::value_kind::boolean, std::move(after_input));
  v.initial = hl::nil();
  const std::string option = ":" + lowercase(name);
  v.ui = hl::list({kw("TOGGLE-TYPE"), kw(layout), kw("ON-ACTION"), hl::make_string(option + " :on"),
                   kw("OFF-ACTION"), hl::make_string(option + " :off")});
  return v;
}

dlg::variable_def hidden(const std::string& name, const std::string& title, dlg::reaction after_input) {
  return variable(name, title, dlg::value_kind::hidden, std::move(after_input));
}

dlg::variable_def hidden_push(const std::string& name, const std::string& title, dlg::action press) {
  dlg::variable_def v = button(name, title, std::move(press), false);
  v.hidden_option = true;
  v.enabled = true;
  return v;
}

// staging_directory and focus_selected_component start the next run with
// the values they have now.
void remember_initial_values(dlg::dialog_context& c) {
  if (c.inside_action()) return;
  c.set_next_initial_values({{"STAGING_DIRECTORY", c.value("STAGING_DIRECTORY")},
                             {"FOCUS_SELECTED_COMPONENT", c.value("FOCUS_SELECTED_COMPONENT")}});
}

// --- The staging directory --------------------------------------------------

void on_staging_directory(dlg::dialog_context& c, const hl::ref& value) {
  std::error_code ec;
  // A relative directory is taken from the working directory once, here:
  // the session changes directory while it loads and saves.
  if (hl::truthy(value) && fs::path(text_of(value)).is_relative()) {
    c.set_value("STAGING_DIRECTORY",
                hl::make_string(fs::absolute(text_of(value)).lexically_normal().generic_string()));
    return;
  }
  if (fs::is_directory(text_of(value), ec)) {
    print(hl::format("STAGING_DIRECTORY after input ~A~%", value));
    initialize_check_in_context(c);
  }
  remember_initial_values(c);
}

void browse_staging_directory(dlg::dialog_context& c) {
  const hl::ref current = c.value("STAGING_DIRECTORY");
  const hl::ref folder = host::oli::sd_browse_for_folder(hl::truthy(current) ? text_of(current) : "");
  if (hl::truthy(folder))
    host::frame2::put_buffer(":staging_directory " + hl::prin1_to_string(hl::make_string(
                                                         fs::path(text_of(folder)).generic_string())));
}

// --- Loading a model --------------------------------------------------------

const char* refresh_handler_name = "MM-REFRESH-STATUS-HANDLER";
const char* save_handler_name = "MM-SAVE-HANDLER";

hl::ref handler(const char* name) { return hl::ref(&core::main_symbol(name)); }

void on_staged(dlg::dialog_context& c, const hl::ref& value) {
  print(hl::format("STAGED after input ~A~%", value));
  clear_session(c);
  const model_status_ptr status = load_model(text_of(value));
  if (status)
    update_model_status(*status, "LOADED");
  else
    host::system::note_incomplete_run();
  host::event::subscribe_event(host::event::browser_update_event(), handler(refresh_handler_name),
                               status ? hl::make_string(status->staged.string()) : hl::nil());
  if (const std::shared_ptr<check_in_context>& context = mm_check_in_context())
    context->mm_cmd = mm_command::status_update;
  host_ops::trapped([] { host::modelmanager::ndm_refresh_status(); });
}

// The queue entry a handler was subscribed with, when it is the model in
// session.
model_status_ptr queued_model_in_session(const check_in_context& context, const hl::ref& staged) {
  if (!hl::stringp(staged)) return nullptr;
  const model_status_ptr* status = context.model_queue.find(hl::as_string(staged));
  if (!status || hl::is_nil(analytics::model_status_selitem(**status))) return nullptr;
  return *status;
}

hl::ref mm_refresh_status_handler(const hl::ref& staged) {
  const std::shared_ptr<check_in_context>& context = mm_check_in_context();
  const hl::ref me = handler(refresh_handler_name);
  const model_status_ptr status = context && context->mm_cmd == mm_command::status_update
                                      ? queued_model_in_session(*context, staged)
                                      : nullptr;
  if (status) {
    if (hl::is_nil(host::modelmanager::get_mmstatus_from_object(analytics::model_status_selitem(*status))))
      return hl::nil();  // not refreshed yet
    context->mm_cmd = mm_command::none;
    host::event::unsubscribe_event(host::event::browser_update_event(), me);
    host::frame2::put_buffer(hl::format(":DB_FINISH_STATUS_UPDATE ~S", staged));
    return hl::nil();
  }
  host::event::unsubscribe_event(host::event::browser_update_event(), me);
  return hl::nil();
}

void on_db_finish_status_update(dlg::dialog_context& c, const hl::ref& value) {
  initialize_check_in_context(c);
  const std::shared_ptr<check_in_context>& context = installed_context();
  print("DB_FINISH_STATUS_UPDATE after input\n");
  if (!context) return;
  const model_status_ptr* status = context->model_queue.find(text_of(value));
  if (!status) return;
  if (!host_ops::trapped([&] { set_check_in_context_current_model(*context, *status, session()); })) return;
  c.set_value("CURRENT_MODEL", current_model_path(*context));
}

// --- Reactions that keep the panel consistent ----------------------------------

void on_current_model(dlg::dialog_context& c, const hl::ref&) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context) return;
  const model_status_ptr& model = context->current_model();
  print(hl::format("CURRENT_MODEL after-input ~A~%",
                   model ? hl::make_string(analytics::model_status_instancename(*model)) : hl::nil()));
  for (const char* v : {"MODEL_ERRORS", "MODEL_NAME_CONFLICTS", "DRAWING_COUNT"})
    c.set_visible(v, bool(model));
  if (!model) {
    for (const char* v : {"MODEL_ERRORS", "MODEL_NAME_CONFLICTS", "COMPONENT_COUNT", "DRAWING_COUNT"})
      c.set_value(v, integer(0));
    return;
  }
  c.set_value("MODEL_ERRORS", integer(long(model->disconnects.size() + model->corrupt.size())));
  c.set_value("MODEL_NAME_CONFLICTS", integer(check_in_context_remaining_name_conflicts(*context)));
  long drawings = 0;
  for (const drawing_status_ptr& d : context->current_drawings)
    if (d && !has_tag(*d, "CHECKED-IN")) ++drawings;
  c.set_value("DRAWING_COUNT", integer(drawings));
  set_drawing_table(context->current_drawings);
}

void on_model_errors(dlg::dialog_context& c, const hl::ref& value) {
  if (!installed_context()) return;
  const bool errors = integer_value(value) > 0;
  for (const char* v : {"SHOW_ERROR_REPORT", "IGNORE_ERRORS"}) {
    c.set_visible(v, errors);
    c.set_enabled(v, errors);
  }
  update_check_in_enabled(c);
}

void on_queued_for_check_in(dlg::dialog_context& c, const hl::ref& value) {
  if (!installed_context()) return;
  print(hl::format("QUEUED_FOR_CHECK_IN after-input ~A~%", value));
  c.set_enabled("CHECK_IN", false);
  const bool queued = integer_value(value) > 0;
  for (const char* v :
       {"COMPARE", "COMPONENT_COUNT", "CONFLICT_TYPE", "MODEL_ERRORS", "MODEL_NAME_CONFLICTS"}) {
    print(hl::format("Visibility ~A ~A~%", hl::make_string(v), hl::boolean(queued)));
    c.set_visible(v, queued);
  }
}

void show_error_report(dlg::dialog_context& c) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context || !context->current_model()) return;
  host::oli::sd_display_url(text_of(c.value("STAGING_DIRECTORY")) + "/report.htm#" +
                            analytics::model_status_sysid(*context->current_model()));
}

// --- Saving, re-analyzing, checking in ------------------------------------------

bool save_current_model_into_staging(const check_in_context& context) {
  const hl::ref top = current_model_path(context);
  if (hl::is_nil(top)) return false;
  const hl::ref result = save_instance(top, models_directory(context));
  if (hl::consp(result)) {
    host::frame2::display_error(hl::car(hl::cdr(result)));
    host::system::note_incomplete_run();
    return false;
  }
  return true;
}

void save_current_model(dlg::dialog_context&) {
  if (const std::shared_ptr<check_in_context>& context = installed_context())
    if (context->current_model()) save_current_model_into_staging(*context);
}

void rescan_current_model(dlg::dialog_context& c) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context || !context->current_model()) return;
  const model_status_ptr model = context->current_model();
  if (!host_ops::trapped([&] { set_check_in_context_current_model(*context, model, session()); })) return;
  c.set_value("CURRENT_MODEL", current_model_path(*context));
  host_ops::trapped([] { host_ops::refresh_browser(); });
}

// Whether the host has changes of the model in session that its staged
// files do not hold: any of its instances or contents modified. A walk
// that fails counts as changes.
bool unsaved_changes_p(const hl::ref& top) {
  bool modified = false;
  const bool walked = host_ops::trapped([&] {
    records::for_each_instance(
        records::from_sel_item(top),
        [&](const records::model_path& at) {
          for (const hl::ref& cluster : {session().get_instance(at), session().get_contents(at)})
            modified = modified || (hl::truthy(cluster) && host::frame2::inquire_cluster_modified(cluster));
          return !modified;
        },
        session());
  });
  return modified || !walked;
}

void check_in(dlg::dialog_context& c) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context || !context->current_model() || has_tag(*context->current_model(), "CHECKED-IN")) return;
  // Conflicts left (failed name queries among them) or errors not ignored.
  update_check_in_enabled(c);
  if (!c.enabled("CHECK_IN")) return;
  context->mm_cmd = mm_command::check_in;
  const hl::ref top = current_model_path(*context);
  if (hl::is_nil(top)) return;
  if (host_ops::stored_status_p(host::modelmanager::get_mmstatus_from_object(top))) {
    host::frame2::put_buffer(":DB_FINISH_CHECKIN");
    return;
  }
  host_ops::trapped([&] {
    records::for_each_instance(
        records::from_sel_item(top),
        [](const records::model_path& at) {
          const hl::ref item = records::to_sel_item(at);
          const hl::ref status = host::modelmanager::get_mmstatus_from_object(item);
          if (hl::keywordp(status) && hl::as_symbol(status).name == "SYSID-CONFLICT")
            host::frame2::set_cluster_sysids(host::oli::get_contents(item));
          return !host::oli::sd_inq_inseparable_p(item);
        },
        session());
  });
  // The staged file gets the model as it is stored, resolutions and fresh
  // sysids included: when the host ends between the store and its
  // completion, the next run loads a model the database holds up to date
  // and completes it without storing it again. A model the host holds
  // unchanged since it was loaded is that file already; the completion
  // saves it once.
  if (unsaved_changes_p(top) && !save_current_model_into_staging(*context)) return;
  if (!host_ops::trapped([&] { host::modelmanager::ndm_store_modified(top); }, "Check-in failed")) {
    host::system::note_incomplete_run();
    return;
  }
  host::event::subscribe_event(host::event::browser_update_event(), handler(save_handler_name),
                               hl::make_string(context->current_model()->staged.string()));
}

hl::ref mm_save_handler(const hl::ref& staged) {
  const std::shared_ptr<check_in_context>& context = mm_check_in_context();
  const hl::ref me = handler(save_handler_name);
  const model_status_ptr model = context && context->mm_cmd == mm_command::check_in
                                     ? queued_model_in_session(*context, staged)
                                     : nullptr;
  if (model && model == context->current_model()) {
    if (!host_ops::stored_status_p(
            host::modelmanager::get_mmstatus_from_object(analytics::model_status_selitem(*model))))
      return hl::nil();  // not stored yet
    context->mm_cmd = mm_command::none;
    host::event::unsubscribe_event(host::event::browser_update_event(), me);
    host::frame2::put_buffer("VANTREL_MM_ASSISTED_CHECKIN :DB_FINISH_CHECKIN");
    return hl::nil();
  }
  host::event::unsubscribe_event(host::event::browser_update_event(), me);
  return hl::nil();
}

// The file names the model's components must carry in the staging directory.
void name_component_files(const hl::ref& top) {
  auto rename = [](const hl::ref& cluster) {
    const std::string wanted = records::make_cluster_file_namestring(cluster, session());
    const hl::ref has = host::frame2::inquire_cluster_filename(cluster);
    if (!hl::stringp(has) || hl::as_string(has) != wanted)
      host::frame2::set_cluster_filename(cluster, wanted);
  };
  rename(host::oli::get_instance(top));
  records::for_each_instance(
      records::from_sel_item(top),
      [&](const records::model_path& at) {
        const hl::ref contents = session().get_contents(at);
        if (session().real_cluster_p(contents)) rename(contents);
        return true;
      },
      session());
}

void on_db_finish_checkin(dlg::dialog_context& c) {
  initialize_check_in_context(c);
  const std::shared_ptr<check_in_context>& context = installed_context();
  if (!context) return;
  const model_status_ptr model = context->current_model();
  const hl::ref top = current_model_path(*context);
  // Only what Model Manager holds is tagged checked in: a completion that
  // arrives without a store behind it changes nothing.
  if (model && !has_tag(*model, "CHECKED-IN") && hl::truthy(top) &&
      !host_ops::stored_status_p(host::modelmanager::get_mmstatus_from_object(top))) {
    print(hl::format("DB_FINISH_CHECKIN ~A is not stored~%",
                     hl::make_string(analytics::model_status_instancename(*model))));
    host::system::note_incomplete_run();
    return;
  }
  if (model && !has_tag(*model, "CHECKED-IN")) {
    print(hl::format("DB_FINISH_CHECKIN save to disk ~A~%",
                     hl::make_string(analytics::model_status_instancename(*model))));
    host_ops::trapped([&] { name_component_files(top); });
    save_current_model_into_staging(*context);
    mark_model_checked_in(*context, *model);
    analytics::update_model_analytics(context->model_analytics, *model, context->stagingdir);
    analytics::refresh_after_check_in(context->stagingdir);
    update_model_status(*model, "CHECKED-IN");
    c.set_enabled("CHECK_IN", false);
  }
  c.set_value("QUEUED_FOR_CHECK_IN", integer(check_in_context_remaining_models(*context)));
  print(hl::format("DB_FINISH_CHECKIN drawing count ~A~%", c.value("DRAWING_COUNT")));
  if (integer_value(c.value("DRAWING_COUNT")) > 0) {
    enter_drawing_phase(c, *context);
  } else {
    set_check_in_context_current_model(*context, nullptr, session());
    c.set_value("CURRENT_MODEL", hl::nil());
  }
}

// --- The dialog ------------------------------------------------------------------

void start(dlg::dialog_context& c) {
  installed_context().reset();
  // A batch gives every value it needs: what a user left in the dialog,
  // perhaps for another directory, must not steer it, and what it sets is
  // no user's choice to keep.
  if (batch_check_in_running()) c.disable_pds(true, true);
  // The view exists while the module is active.
  if (core::module_active_p())
    host_ops::trapped([] {
      host::oli::sd_set_current_browser_view("parcel-gbrowser",
                                             core::main_string("+NAME-CONFLICT-BROWSER-VIEW+"), true);
      host_ops::refresh_browser();
    });
  if (mm_check_in_context() || hl::truthy(c.value("STAGING_DIRECTORY")))
    host_ops::trapped([&] { initialize_check_in_context(c); });
}

void cleanup(dlg::dialog_context&) {
  complete_drawing_check_in();
  hide_model_table();
  hide_drawing_table();
  hide_name_conflict_table();
  installed_context().reset();
  print("Cleanup\n");
}

std::vector<dlg::variable_def> variables() {
  dlg::variable_def staging = variable("STAGING_DIRECTORY", core::resource_text("MIGRATION-STAGINGDIR"),
                                       dlg::value_kind::directory, on_staging_directory);
  staging.check = [](dlg::dialog_context&, const hl::ref& v) { return staging_directory_check(text_of(v)); };
  staging.ui = hl::list({kw("SIZE"), kw("HALF"), kw("BROWSE-BUTTON"), kw("BROWSE_STAGING_DIRECTORY")});
  dlg::variable_def browse = button("BROWSE_STAGING_DIRECTORY", "Browse", browse_staging_directory);
  browse.ui = hl::list({kw("IMAGE"), hl::make_string("browse-folder")});

  dlg::variable_def current_model =
      variable("CURRENT_MODEL", "Model", dlg::value_kind::part_assembly, on_current_model);
  dlg::variable_def ignore_errors =
      toggle("IGNORE_ERRORS", "Ignore Errors", "LAST-ENTRY", [](dlg::dialog_context& c, const hl::ref&) {
        if (installed_context()) update_check_in_enabled(c);
      });
  ignore_errors.visible = ignore_errors.enabled = false;
  dlg::variable_def current_model_name =
      variable("CURRENT_MODEL_NAME", "Name", dlg::value_kind::part_assembly, on_current_model_name);
  current_model_name.enabled = false;
  dlg::variable_def focus = toggle("FOCUS_SELECTED_COMPONENT", "Focus selected component", "WIDE",
                                   [](dlg::dialog_context& c, const hl::ref&) {
                                     focus_selected_component(c);
                                     remember_initial_values(c);
                                   });
  dlg::variable_def conflict_type = variable("CONFLICT_TYPE", "Conflicts with", dlg::value_kind::text);
  conflict_type.input = false;
  conflict_type.visible = false;
  dlg::variable_def resolution = variable("RESOLUTION", "Resolution", dlg::value_kind::option_list);
  resolution.initial = hl::make_string("-");
  resolution.options = {resolution.initial};
  resolution.visible = resolution.enabled = false;
  // What each choice reads as; the choices themselves follow the conflict.
  resolution.ui = hl::list(
      {kw("LABELS"), hl::list({kw("RENAME-LOCAL"), hl::make_string("Rename Reference Model"),
                               kw("RENAME-CHECK"), hl::make_string("Rename Check Model"),
                               kw("REPLACE-LOCAL-BY-DB"), hl::make_string("Replace Reference Model"),
                               kw("REPLACE-REFERENCE-BY-CHECK"), hl::make_string("Replace Reference Model"),
                               kw("REPLACE-CHECK-BY-REFERENCE"), hl::make_string("Replace Check Model")})});
  dlg::variable_def current_drawing =
      variable("CURRENT_DRAWING", "Drawing", dlg::value_kind::text, on_current_drawing);
  current_drawing.visible = current_drawing.enabled = false;
  dlg::variable_def stale_views = display_number("STALE_VIEWS", "Stale Views", on_stale_views, false);
  stale_views.enabled = false;

  return {staging,
          browse,
          display_number("QUEUED_FOR_CHECK_IN", "Queued Models", on_queued_for_check_in),
          variable("TITLE-2", "Current Model", dlg::value_kind::subtitle),
          current_model,
          display_number("MODEL_ERRORS", "Errors", on_model_errors, false),
          button("SHOW_ERROR_REPORT", "Show Report", show_error_report, false),
          ignore_errors,
          variable("NAME_CONFLICT_GROUP", "Model Name Conflicts", dlg::value_kind::group_title),
          display_number("MODEL_NAME_CONFLICTS", "Conflicting Names", on_model_name_conflicts, false),
          current_model_name,
          focus,
          conflict_type,
          display_number("COMPONENT_COUNT", "Components", on_component_count, false),
          resolution,
          button("COMPARE", "Compare", compare, false),
          button("APPLY_RESOLUTION", "Apply Resolution", apply_resolution, false),
          button("RESCAN_CURRENT_MODEL", "Re-analyze Model", rescan_current_model, false),
          button("SAVE_CURRENT_MODEL", "Save Model", save_current_model, false),
          [] {
            dlg::variable_def v = button("CHECK_IN", "Check-In", check_in);
            v.enabled = false;
            return v;
          }(),
          variable("TITLE-3", "Drawings", dlg::value_kind::subtitle),
          display_number("DRAWING_COUNT", "Queued Drawings", on_drawing_count, false),
          current_drawing,
          stale_views,
          button("CHECK_IN_DRAWING", "Check-In Drawing", check_in_drawing, false),
          hidden("STAGED_DWG", "Staged_Dwg", on_staged_dwg),
          hidden("STAGED", "Staged", on_staged),
          hidden("MODELNAME", "Modelname", on_modelname),
          hidden("DB_FINISH_STATUS_UPDATE", "Db_Finish_Status_Update", on_db_finish_status_update),
          hidden("DB_FINISH_RELOAD", "Db_Finish_Reload", on_db_finish_reload),
          hidden_push("DB_FINISH_DWG_CHECKIN", "Db_Finish_Dwg_Checkin",
                      [](dlg::dialog_context& c) { on_db_finish_dwg_checkin(c, hl::nil()); }),
          hidden_push("DB_FINISH_CHECKIN", "Db_Finish_Checkin", on_db_finish_checkin)};
}

}  // namespace

void update_check_in_enabled(dlg::dialog_context& c) {
  const std::shared_ptr<check_in_context>& context = installed_context();
  const model_status_ptr model = context ? context->current_model() : nullptr;
  c.set_enabled("CHECK_IN",
                integer_value(c.value("MODEL_NAME_CONFLICTS")) == 0 && model &&
                    !has_tag(*model, "CHECKED-IN") &&
                    (integer_value(c.value("MODEL_ERRORS")) == 0 || toggle_on(c.value("IGNORE_ERRORS"))));
}

void define_assisted_checkin() {
  dlg::dialog_def d;
  d.name = assisted_checkin_dialog;
  d.title = "Assisted MM Check In";
  d.toolbox_title = d.title;
  d.pds_module = core::module_id();
  d.precondition = []() -> std::optional<std::string> {
    if (host::oli::sd_module_active_p("MODELMANAGER")) return std::nullopt;
    return std::string("The module MODELMANAGER must be active for ") + assisted_checkin_dialog + ".";
  };
  d.variables = variables();
  d.on_start = start;
  d.cleanup = cleanup;
  d.help = [](dlg::dialog_context&) {
    core::display_module_help(core::dialog_help_page(assisted_checkin_dialog));
  };
  define_queue_tables();
  define_name_conflict_panel();
  define_drawing_checkin();
  core::define_function(refresh_handler_name, 1, 1,
                        [](hl::args_t a) { return mm_refresh_status_handler(a[0]); });
  core::define_function(save_handler_name, 1, 1, [](hl::args_t a) { return mm_save_handler(a[0]); });
  dlg::define_dialog(std::move(d), core::main_package().name);
  core::doc::document(
      core::doc::kind::dialog, hl::ref(&core::main_symbol(assisted_checkin_dialog)),
      {"Checks the models staged in STAGING_DIRECTORY into Model Manager one by one: choose a model",
       "of the Import Queue, resolve its model name conflicts, check it in, then check in its",
       "Annotation drawings. Each result is appended to the directory's analytics.lsp."});
}

}  // namespace vtm::checkin
