#include "core/vtm_settings_dia.h"

#include <map>

#include "core/customization.h"
#include "core/help.h"
#include "core/module_env.h"
#include "core/vtm_doctools.h"
#include "host/dialogs.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/persistent_data.h"

namespace vtm::core {

using namespace host::lisp;

namespace {

constexpr const char* settings_dialog = "VTM_SETTINGS";

ref persisted_record() {
  return host::oli::sd_get_persistent_data(module_id(), module_settings_dialog(), kw("VALUES"));
}

void set_setting(const setting_map_entry& entry, const ref& value) {
  ref converted = value;
  if (is(entry.to_setting_var, tag::function) ||
      (symbolp(entry.to_setting_var) && !is_nil(entry.to_setting_var) &&
       !is_nil(as_symbol(entry.to_setting_var).function)))
    converted = call(entry.to_setting_var, value);
  set_symbol_value(main_symbol(entry.setting_var), converted);
}

// What one run of the dialog keeps.
struct dialog_run {
  ref checkpoint;
  bool reset = false;
  bool reverting = false;
  std::map<std::string, ref> pending;  // dialog variable -> value entered
};

dialog_run& run() {
  static dialog_run r;
  return r;
}

// Shows the setting variables' values; that is no user input, so nothing
// becomes a pending update.
void revert_dialog_vars(host::dialogs::dialog_context& d) {
  run().reverting = true;
  for (const setting_map_entry& e : variable_map())
    d.set_value(e.dialog_var, symbol_value(main_symbol(e.setting_var)));
  run().reverting = false;
}

// Model checkpoints come from the CAD session; without one the dialog
// has no model state to protect.
ref take_checkpoint() {
  symbol* s = find_symbol("SD-SET-MODEL-CHECKPOINT", require_package("OLI"));
  return s && !is_nil(s->function) ? call(*s) : nil();
}

void return_to_checkpoint(const ref& checkpoint) {
  package& oli = require_package("OLI");
  call(intern("SD-RETURN-TO-MODEL-CHECKPOINT", oli), checkpoint);
  package* k2 = find_package("K2");
  package* dsm = find_package("DSM");
  symbol* manager = k2 ? find_symbol("*K2-STATE-MANAGER*", *k2) : nullptr;
  symbol* rm_future = dsm ? find_symbol("RM-FUTURE", *dsm) : nullptr;
  if (manager && boundp(*manager) && rm_future && !is_nil(rm_future->function))
    call(*rm_future, symbol_value(*manager));
}

void start(host::dialogs::dialog_context& d) {
  run() = {};
  run().checkpoint = take_checkpoint();
  d.set_visible("RESET", true);
  revert_dialog_vars(d);
  // The module persists its settings itself.
  d.disable_pds(true, true);
}

void reset(host::dialogs::dialog_context& d, const ref&) {
  run().reset = true;
  load_module_customization(false);
  revert_dialog_vars(d);
}

void ok(host::dialogs::dialog_context& d) {
  if (!d.run_before_ok()) {
    d.stay_open();
    return;
  }
  ref record = persisted_record();
  for (const auto& [var, value] : run().pending) {
    if (const setting_map_entry* e = find_var_map(var)) set_setting(*e, value);
    record = putf(record, kw(var), value);
  }
  d.set_result(
      host::oli::sd_set_persistent_data(module_id(), module_settings_dialog(), record, kw("VALUES")));
  d.run_after_ok();
}

void cancel(host::dialogs::dialog_context& d) {
  d.set_result(nil());
  if (truthy(run().checkpoint)) return_to_checkpoint(run().checkpoint);
  run() = {};
}

}  // namespace

const std::vector<setting_map_entry>& variable_map() {
  static const std::vector<setting_map_entry> map;
  return map;
}

const setting_map_entry* find_var_map(std::string_view dialog_var) {
  for (const setting_map_entry& e : variable_map())
    if (e.dialog_var == dialog_var) return &e;
  return nullptr;
}

ref module_settings() {
  std::vector<ref> vars;
  for (const setting_map_entry& e : variable_map()) vars.push_back(ref(&main_symbol(e.setting_var)));
  return list_from(vars);
}

ref load_persisted_module_settings() {
  std::vector<ref> record = list_to_vector(persisted_record());
  for (std::size_t i = 0; i + 1 < record.size(); i += 2)
    if (keywordp(record[i]))
      if (const setting_map_entry* e = find_var_map(as_symbol(record[i]).name))
        set_setting(*e, record[i + 1]);
  return t();
}

void define_vtm_settings_dia() {
  set_symbol_value(main_symbol("+MODULE-SETTINGS-DIALOG+"), make_string(settings_dialog));
  define_function("MODULE-SETTINGS", 0, 0, [](args_t) { return module_settings(); });
  define_function("LOAD-PERSISTED-MODULE-SETTINGS", 0, 0,
                  [](args_t) { return load_persisted_module_settings(); });

  host::dialogs::variable_def reset_var;
  reset_var.name = "RESET";
  reset_var.title = resource_text("RESET-VAR-TITLE");
  reset_var.kind = host::dialogs::value_kind::push_action;
  reset_var.after_input = reset;
  reset_var.ui = list({kw("TOGGLE-TYPE"), kw("LEFT-TOGGLE"), kw("PUSH-ACTION"), make_string(":reset"),
                       kw("INDICATOR"), nil(), kw("SIZE"), kw("HALF")});

  host::dialogs::dialog_def dialog;
  dialog.name = settings_dialog;
  dialog.title = "Edit Vantrel Migrator Settings";
  dialog.toolbox_title = dialog.title;
  dialog.pds_module = "VT_MIGRATOR";
  dialog.variables = {reset_var};
  for (const setting_map_entry& e : variable_map()) {
    host::dialogs::variable_def v = e.variable;
    v.name = e.dialog_var;
    v.after_input = [name = e.dialog_var, own = e.variable.after_input](host::dialogs::dialog_context& d,
                                                                        const ref& value) {
      if (!run().reverting) run().pending[name] = value;
      if (own) own(d, value);
    };
    dialog.variables.push_back(std::move(v));
  }
  dialog.on_start = start;
  dialog.ok = ok;
  dialog.cancel = cancel;
  dialog.help = [](host::dialogs::dialog_context&) {
    display_module_help(dialog_help_page(settings_dialog));
  };
  host::dialogs::define_dialog(std::move(dialog), main_package().name);
  doc::document(doc::kind::dialog, ref(&main_symbol(settings_dialog)),
                {"Edits the module's settings. RESET reloads the customization files without the persisted",
                 "settings; OK applies the entered values and persists them; cancel changes nothing."});
}

}  // namespace vtm::core
