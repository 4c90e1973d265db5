// The host's user interface services: applications and their commands, the
// ribbon, the settings and help menus, the toolbox, the page of extension
// modules, browser columns and views, and the displays for the user.
//
// Controls are registered and removed by name. A control path names a
// control by the names of its ancestors and its own, e.g. ("SDEXTENSION"
// "VT_MIGRATOR") for a ribbon group. The settings menu lives below
// ("MAIN" "MAIN" "REGISTERED-SETTINGS").
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/lisp/object.h"

namespace host::oli {

using control_path = std::vector<std::string>;

// (application group command-name): how the host names a command.
struct command_triplet {
  std::string application, group, name;
  bool operator==(const command_triplet&) const = default;
};

void sd_add_application_data(const std::string& id, const std::string& name, const std::string& short_name,
                             const std::string& title);

struct command_data {
  std::string title, group_title, description;
  std::optional<std::string> image;  // image file namestring
  lisp::ref action;                  // a command line string or a form
  lisp::ref ui_behavior;             // keyword, :default
};
// Defines or redefines the command; it starts disabled until its
// application's commands are enabled.
void sd_define_available_command(const command_triplet& command, const command_data& data,
                                 bool update_unknown_commands);
lisp::ref sd_enable_application_commands(const std::string& application);   // T
lisp::ref sd_disable_application_commands(const std::string& application);  // T
// The command's data as a plist (:title :groupTitle :description :image
// :action :ui-behavior :enabled), NIL when the command is unknown.
lisp::ref sd_inq_available_command_data(const command_triplet& command);

// --- Ribbon -------------------------------------------------------------

bool sd_fluentui_ribbon_tab_exist_p(const std::string& tab);
lisp::ref sd_fluentui_add_ribbon_tab(const std::string& tab, const std::string& application,
                                     const std::string& title, const lisp::ref& position,
                                     bool append_utilities_group);
bool fluentui_ribbon_group_exist_p(const std::string& group, const std::string& parent_tab);
lisp::ref sd_fluentui_add_ribbon_group(const std::string& group, const std::string& title,
                                       const std::string& parent_tab,
                                       const std::optional<command_triplet>& launcher);
// Removes the group and its buttons; NIL when there is no such group.
lisp::ref fluentui_destroy_ribbon_group(const std::string& group, const std::string& parent_tab);

struct ribbon_button {
  control_path parent;
  std::string name;  // empty: the command name, or the label of a split button
  bool split_button = false;
  bool large_image = false;
  std::string label;
  std::optional<command_triplet> avail_cmd;
  std::vector<command_triplet> contents;  // entries of a split button
};
// Adds a button below an existing control (ribbon group or settings menu).
lisp::ref sd_fluentui_add_ribbon_button(const ribbon_button& button);
// Lays the ribbon out again; T.
lisp::ref sd_fluentui_recalc_ribbon_layout();
// True when a control of that path exists in the ribbon or the menus.
bool fluentui_ribbon_control_exist_p(const control_path& path);

// --- Settings and help menus, toolbox --------------------------------------

struct settings_item {
  std::string item_name;
  command_triplet command;
};
// Adds a sub-menu of the settings menu with its items.
lisp::ref sd_register_settings(const std::string& submenu, const std::string& submenu_title,
                               const std::vector<settings_item>& items);
// Removes the item from the sub-menu, and the sub-menu once it is empty.
lisp::ref sd_unregister_settings(const std::string& submenu, const std::string& item_name);

lisp::ref sd_fluentui_add_help_button(const command_triplet& command);
lisp::ref sd_fluentui_remove_help_button(const command_triplet& command);

lisp::ref add_mfc_toolbox_button(const std::string& title, const lisp::ref& action);
lisp::ref remove_mfc_toolbox_button(const std::string& title);

// --- Page of extension modules ---------------------------------------------

// A controller button handle, or NIL.
lisp::ref sd_get_module_controller_button(const std::string& module_id);
lisp::ref sd_insert_module_controller_button(const std::string& module_id, const std::string& page,
                                             const std::string& module_title, const std::string& page_title,
                                             const lisp::ref& activation_form,
                                             const lisp::ref& deactivation_form);
// Sets or resets the toggle; with call_action the button's activation or
// deactivation form runs as when the user clicks it.
lisp::ref sd_set_togglebutton(const lisp::ref& button, bool call_action);
lisp::ref sd_reset_togglebutton(const lisp::ref& button, bool call_action);

// --- Structure browser -----------------------------------------------------

struct column_definition {
  lisp::ref id;  // keyword
  std::string title;
  lisp::ref alignment, initial_width;
  bool ui_accessible = false;
  lisp::ref display_fnc, applicable_fnc, edit_fnc;  // function designators or NIL
};
lisp::ref sd_create_column_definition(const column_definition& column);

struct browser_view {
  std::string id, title;
  lisp::ref tree_config, detail_config;
  bool activate_detail_configuration = false;
  lisp::ref enable;  // a form, true while the view may be used
};
lisp::ref sd_create_browser_view(const browser_view& view);
lisp::ref sd_delete_browser_view(const std::string& id);  // NIL when absent

// True while the host application module (e.g. "MODELMANAGER") is active.
// ANNOTATION and MODELMANAGER are active when the host starts.
bool sd_module_active_p(const std::string& module);

// --- Displays and strings --------------------------------------------------

// Shows the page; T.
lisp::ref sd_display_url(const std::string& url);
lisp::ref sd_display_error(const std::string& text);
// sd-display-warning is in command_errors.h: loads raise it.
// Asks the user for a folder, starting at start_dir; NIL when the user
// gives none.
lisp::ref sd_browse_for_folder(const std::string& start_dir);
// The output box: appends a line, or shows the box.
lisp::ref display(const std::string& line);
lisp::ref display_show();

std::vector<std::string> sd_string_split(const std::string& text, const std::string& separators);
// The value printed readably.
std::string sd_write_to_string(const lisp::ref& value);

// Loads the customization files of the application named file from the
// corporate, site and user customization directories in that order (or the
// reverse), or only one of them; returns the list of files loaded. A file
// that fails to load does not keep the others from loading: once all were
// tried, one error names each failed file with its line and cause.
lisp::ref sd_load_customization_file(const std::string& file, const std::string& application,
                                     const lisp::ref& which, const lisp::ref& order);

}  // namespace host::oli

namespace host::system {
// The host's debug mode.
bool debug_mode_p();
}  // namespace host::system
