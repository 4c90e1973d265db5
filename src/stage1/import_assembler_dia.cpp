#include "stage1/import_assembler_dia.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "core/help.h"
#include "core/module_env.h"
#include "core/vtm_doctools.h"
#include "host/dialogs.h"
#include "host/drawings.h"
#include "host/events.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/ui.h"
#include "host/undo.h"
#include "stage1/staging_run.h"

namespace vtm::stage1 {

namespace fs = std::filesystem;
namespace hl = host::lisp;
namespace dlg = host::dialogs;
using core::kw;
using core::text_of;
using core::toggle_on;

namespace {

constexpr const char* dialog_name = "VANTREL_MM_IMPORT_ASSEMBLER";

// The model checkpoint taken when the dialog started; Cancel returns to it.
hl::ref& entry_checkpoint() {
  static hl::ref c;
  return c;
}

// The resource text, then on the console the path and the system's reason.
std::string refusal(const std::string& key, const fs::path& dir, const std::string& reason) {
  return core::resource_text(key) + "\n" + dir.string() + ": " + reason;
}

std::optional<std::string> existing_input_directory(dlg::dialog_context&, const hl::ref& value) {
  std::error_code ec;
  const fs::path dir = text_of(value);
  if (fs::is_directory(dir, ec)) return std::nullopt;
  if (!ec && fs::exists(dir, ec)) ec = std::make_error_code(std::errc::not_a_directory);
  if (!ec) ec = std::make_error_code(std::errc::no_such_file_or_directory);
  return refusal("IMPORT_ASSEMBLER-DIR-NOT-FOUND", dir, ec.message());
}

// The staging directory is created by the run, when the dialog is
// confirmed: a dialog cancelled or left open creates nothing. Entered, it
// must exist or be creatable (its nearest existing ancestor a directory
// this process may write to).
std::optional<std::string> creatable_staging_directory(dlg::dialog_context& c, const hl::ref& value) {
  const fs::path entered = text_of(value);
  // Records written into the input, or the input staged into itself.
  if (const hl::ref input = c.value("INPUT_DIRECTORY"); hl::truthy(input))
    if (std::optional<std::string> overlap = staging_directory_overlap(text_of(input), entered))
      return overlap;
  // A missing file sets the error code of is_directory, not of exists.
  std::error_code ec;
  fs::path dir = fs::absolute(entered, ec);
  if (ec) return refusal("MIGRATION-STAGINGDIR-NOT-FOUND", entered, ec.message());
  while (!fs::exists(dir, ec) && !ec && dir.has_parent_path() && dir != dir.parent_path())
    dir = dir.parent_path();
  if (!ec && !fs::is_directory(dir, ec)) ec = std::make_error_code(std::errc::not_a_directory);
  if (!ec && ::access(dir.c_str(), W_OK | X_OK) != 0) ec = std::error_code(errno, std::generic_category());
  if (!ec) return std::nullopt;
  return refusal("MIGRATION-STAGINGDIR-NOT-FOUND", entered, dir.string() + ": " + ec.message());
}

dlg::variable_def directory_variable(const std::string& name, const std::string& title_key,
                                     dlg::value_check check) {
  dlg::variable_def v;
  v.name = name;
  v.title = core::resource_text(title_key);
  v.kind = dlg::value_kind::directory;
  v.must = true;
  v.check = std::move(check);
  v.ui = hl::list({kw("SIZE"), kw("HALF"), kw("BROWSE-BUTTON"), kw("BROWSE_" + name)});
  return v;
}

// The folder browser, starting at the variable's value; the chosen folder
// goes into the input buffer as the variable's input.
dlg::variable_def browse_button(const std::string& variable) {
  dlg::variable_def v;
  v.name = "BROWSE_" + variable;
  v.title = "Browse";
  v.kind = dlg::value_kind::push_action;
  v.ui = hl::list({kw("IMAGE"), hl::make_string("browse-folder")});
  v.after_input = [variable](dlg::dialog_context& c, const hl::ref&) {
    const hl::ref current = c.value(variable);
    const hl::ref folder = host::oli::sd_browse_for_folder(hl::truthy(current) ? text_of(current) : "");
    if (hl::truthy(folder))
      host::frame2::put_buffer(":" + variable + " " + hl::prin1_to_string(hl::make_string(text_of(folder))));
  };
  return v;
}

dlg::variable_def toggle(const std::string& name, const std::string& title, const std::string& option) {
  dlg::variable_def v;
  v.name = name;
  v.title = title;
  v.kind = dlg::value_kind::boolean;
  v.initial = hl::t();
  v.ui = hl::list({kw("TOGGLE-TYPE"), kw("LEFT-TOGGLE"), kw("INDICATOR"), kw("SQUARE"), kw("ON-ACTION"),
                   hl::make_string(":" + option + " :on"), kw("OFF-ACTION"),
                   hl::make_string(":" + option + " :off")});
  return v;
}

void start(dlg::dialog_context& c) {
  entry_checkpoint() = host::oli::sd_set_model_checkpoint();
  c.set_value("INPUT_DIRECTORY", hl::nil());
  c.set_value("STAGING_DIRECTORY", hl::nil());
  c.set_value("CHECK", hl::t());
  c.set_value("DISPLAY_REPORT", hl::boolean(!c.inside_action()));
}

void ok(dlg::dialog_context& c) {
  if (!c.run_before_ok()) {
    if (!c.inside_action()) c.set_result(kw("DEFER-DIALOG-TERMINATION"));
    c.stay_open();
    return;
  }
  entry_checkpoint() = hl::nil();
  staging_options options;
  options.check = toggle_on(c.value("CHECK"));
  options.display_report = toggle_on(c.value("DISPLAY_REPORT"));
  c.set_result(
      run_staging(text_of(c.value("INPUT_DIRECTORY")), text_of(c.value("STAGING_DIRECTORY")), options));
  c.run_after_ok();
}

void cancel(dlg::dialog_context& c) {
  hl::print(hl::make_string("Cancel"), hl::standard_output());
  c.set_result(hl::make_string("Cancel"));
  if (hl::is_nil(entry_checkpoint())) return;
  host::oli::sd_return_to_model_checkpoint(entry_checkpoint());
  host::dsm::rm_future(host::k2::k2_state_manager());
  entry_checkpoint() = hl::nil();
}

}  // namespace

void define_import_assembler() {
  dlg::dialog_def d;
  d.name = dialog_name;
  d.title = "Prepare MM Import";
  d.toolbox_title = d.title;
  d.precondition = []() -> std::optional<std::string> {
    if (host::pers::check_module("ANNOTATION")) return std::nullopt;
    return std::string("The module ANNOTATION must be active for ") + dialog_name + ".";
  };
  dlg::variable_def options;
  options.name = "TITLE-1";
  options.title = "Options";
  options.kind = dlg::value_kind::subtitle;
  options.input = false;
  d.variables = {directory_variable("INPUT_DIRECTORY", "IMPORT_ASSEMBLER-INPUTDIR", existing_input_directory),
                 browse_button("INPUT_DIRECTORY"),
                 directory_variable("STAGING_DIRECTORY", "MIGRATION-STAGINGDIR", creatable_staging_directory),
                 browse_button("STAGING_DIRECTORY"),
                 options,
                 toggle("CHECK", "Check", "check"),
                 toggle("DISPLAY_REPORT", "Display Report", "display_report")};
  d.on_start = start;
  d.ok = ok;
  d.cancel = cancel;
  d.help = [](dlg::dialog_context&) { core::display_module_help(core::dialog_help_page(dialog_name)); };
  dlg::define_dialog(std::move(d), core::main_package().name);
  core::doc::document(
      core::doc::kind::dialog, hl::ref(&core::main_symbol(dialog_name)),
      {"Stages the CAD files of INPUT_DIRECTORY into STAGING_DIRECTORY: one file per component",
       "in models/, drawings in drawings.ami/ or drawings.mi/, the record files, analytics.lsp and",
       "report.htm. A rerun carries on where an earlier run stopped. CHECK runs the part check,",
       "DISPLAY_REPORT shows the report when done."});
}

}  // namespace vtm::stage1
