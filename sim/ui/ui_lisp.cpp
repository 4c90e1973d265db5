// The user interface services as functions of the host package OLI, for
// customization files and command lines.
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/ui.h"
#include "lisp/runtime.h"
#include "ui/ui_state.h"

namespace {

using namespace host::lisp;
using namespace host::oli;

std::string text_of(const ref& r) { return is_nil(r) ? std::string() : as_string(r); }

command_triplet triplet_of(const ref& r) {
  std::vector<ref> parts = list_to_vector(r);
  if (parts.size() != 3)
    simple_error("A command is a list (application group name), not " + prin1_to_string(r) + ".");
  return {as_string(parts[0]), as_string(parts[1]), as_string(parts[2])};
}

std::optional<command_triplet> optional_triplet(const ref& r) {
  if (is_nil(r)) return std::nullopt;
  return triplet_of(r);
}

control_path path_of(const ref& r) {
  if (stringp(r)) return {as_string(r)};
  control_path path;
  for (const ref& p : list_to_vector(r)) path.push_back(as_string(p));
  return path;
}

void def(std::string_view name, std::size_t min, std::size_t max, native_fn fn) {
  package& oli = require_package("OLI");
  symbol& s = intern(name, oli);
  export_symbol(s, oli);
  defun(s, [n = "OLI:" + std::string(name), min, max, fn = std::move(fn)](args_t args) {
    check_argument_count(n, args, min, max);
    return fn(args);
  });
}

const builtins_registration ui_functions([] {
  def("SD-ADD-APPLICATION-DATA", 4, 4, [](args_t a) {
    sd_add_application_data(as_string(a[0]), as_string(a[1]), as_string(a[2]), as_string(a[3]));
    return t();
  });
  def("SD-DEFINE-AVAILABLE-COMMAND", 3, any_count, [](args_t a) {
    keyword_args k("OLI:SD-DEFINE-AVAILABLE-COMMAND", a, 3,
                   {"COMMANDTITLE", "GROUPTITLE", "DESCRIPTION", "IMAGE", "ACTION", "UI-BEHAVIOR",
                    "UPDATE-UNKNOWN-COMMANDS"},
                   true);
    command_data d{text_of(k.get("COMMANDTITLE")),
                   text_of(k.get("GROUPTITLE")),
                   text_of(k.get("DESCRIPTION")),
                   std::nullopt,
                   k.get("ACTION"),
                   k.get("UI-BEHAVIOR", ref(&keyword("DEFAULT")))};
    if (truthy(k.get("IMAGE"))) d.image = as_string(k.get("IMAGE"));
    sd_define_available_command({as_string(a[0]), as_string(a[1]), as_string(a[2])}, d,
                                truthy(k.get("UPDATE-UNKNOWN-COMMANDS")));
    return t();
  });
  def("SD-ENABLE-APPLICATION-COMMANDS", 1, 1,
      [](args_t a) { return sd_enable_application_commands(as_string(a[0])); });
  def("SD-DISABLE-APPLICATION-COMMANDS", 1, 1,
      [](args_t a) { return sd_disable_application_commands(as_string(a[0])); });
  def("SD-INQ-AVAILABLE-COMMAND-DATA", 3, 3, [](args_t a) {
    return sd_inq_available_command_data({as_string(a[0]), as_string(a[1]), as_string(a[2])});
  });
  def("SD-FLUENTUI-RIBBON-TAB-EXIST-P", 1, 1,
      [](args_t a) { return boolean(sd_fluentui_ribbon_tab_exist_p(as_string(a[0]))); });
  def("SD-FLUENTUI-ADD-RIBBON-TAB", 1, any_count, [](args_t a) {
    keyword_args k("OLI:SD-FLUENTUI-ADD-RIBBON-TAB", a, 1,
                   {"APPLICATION", "TITLE", "POSITION", "APPENDUTILITIESGROUP"});
    return sd_fluentui_add_ribbon_tab(as_string(a[0]), text_of(k.get("APPLICATION")), text_of(k.get("TITLE")),
                                      k.get("POSITION"), truthy(k.get("APPENDUTILITIESGROUP")));
  });
  def("FLUENTUI-RIBBON-GROUP-EXIST-P", 1, 3, [](args_t a) {
    keyword_args k("OLI:FLUENTUI-RIBBON-GROUP-EXIST-P", a, 1, {"PARENT"});
    return boolean(fluentui_ribbon_group_exist_p(as_string(a[0]), text_of(k.get("PARENT"))));
  });
  def("SD-FLUENTUI-ADD-RIBBON-GROUP", 1, any_count, [](args_t a) {
    keyword_args k("OLI:SD-FLUENTUI-ADD-RIBBON-GROUP", a, 1, {"TITLE", "PARENT", "LAUNCHBUTTONAVAILCMD"});
    return sd_fluentui_add_ribbon_group(as_string(a[0]), text_of(k.get("TITLE")), text_of(k.get("PARENT")),
                                        optional_triplet(k.get("LAUNCHBUTTONAVAILCMD")));
  });
  def("FLUENTUI-DESTROY-RIBBON-GROUP", 1, 3, [](args_t a) {
    keyword_args k("OLI:FLUENTUI-DESTROY-RIBBON-GROUP", a, 1, {"PARENT"});
    return fluentui_destroy_ribbon_group(as_string(a[0]), text_of(k.get("PARENT")));
  });
  def("SD-FLUENTUI-ADD-RIBBON-BUTTON", 0, any_count, [](args_t a) {
    keyword_args k("OLI:SD-FLUENTUI-ADD-RIBBON-BUTTON", a, 0,
                   {"PARENT", "NAME", "SPLITBUTTON", "LARGEIMAGE", "LABEL", "AVAILCMD", "CONTENTS"});
    ribbon_button b;
    b.parent = path_of(k.get("PARENT"));
    b.name = text_of(k.get("NAME"));
    b.split_button = truthy(k.get("SPLITBUTTON"));
    b.large_image = truthy(k.get("LARGEIMAGE"));
    b.label = text_of(k.get("LABEL"));
    b.avail_cmd = optional_triplet(k.get("AVAILCMD"));
    for (const ref& entry : list_to_vector(k.get("CONTENTS")))
      b.contents.push_back(triplet_of(getf(entry, ref(&keyword("AVAILCMD")))));
    return sd_fluentui_add_ribbon_button(b);
  });
  def("SD-FLUENTUI-RECALC-RIBBON-LAYOUT", 0, 0, [](args_t) { return sd_fluentui_recalc_ribbon_layout(); });
  def("FLUENTUI-RIBBON-CONTROL-EXIST-P", 1, 1,
      [](args_t a) { return boolean(fluentui_ribbon_control_exist_p(path_of(a[0]))); });
  def("SD-REGISTER-SETTINGS", 1, any_count, [](args_t a) {
    keyword_args k("OLI:SD-REGISTER-SETTINGS", a, 1, {"SUBMENUTITLE", "SETTINGS"});
    std::vector<settings_item> items;
    for (const ref& s : list_to_vector(k.get("SETTINGS")))
      items.push_back(
          {as_string(getf(s, ref(&keyword("ITEMNAME")))),
           {as_string(getf(s, ref(&keyword("APPLICATION")))), as_string(getf(s, ref(&keyword("GROUP")))),
            as_string(getf(s, ref(&keyword("CMD"))))}});
    return sd_register_settings(as_string(a[0]), text_of(k.get("SUBMENUTITLE")), items);
  });
  def("SD-UNREGISTER-SETTINGS", 1, 3, [](args_t a) {
    keyword_args k("OLI:SD-UNREGISTER-SETTINGS", a, 1, {"ITEMNAME"});
    return sd_unregister_settings(as_string(a[0]), text_of(k.get("ITEMNAME")));
  });
  def("SD-FLUENTUI-ADD-HELP-BUTTON", 2, 2, [](args_t a) {
    keyword_args k("OLI:SD-FLUENTUI-ADD-HELP-BUTTON", a, 0, {"AVAILCMD"});
    return sd_fluentui_add_help_button(triplet_of(k.get("AVAILCMD")));
  });
  def("SD-FLUENTUI-REMOVE-HELP-BUTTON", 2, 2, [](args_t a) {
    keyword_args k("OLI:SD-FLUENTUI-REMOVE-HELP-BUTTON", a, 0, {"AVAILCMD"});
    return sd_fluentui_remove_help_button(triplet_of(k.get("AVAILCMD")));
  });
  def("ADD-MFC-TOOLBOX-BUTTON", 0, 4, [](args_t a) {
    keyword_args k("OLI:ADD-MFC-TOOLBOX-BUTTON", a, 0, {"TITLE", "ACTION"});
    return add_mfc_toolbox_button(text_of(k.get("TITLE")), k.get("ACTION"));
  });
  def("REMOVE-MFC-TOOLBOX-BUTTON", 2, 2, [](args_t a) {
    keyword_args k("OLI:REMOVE-MFC-TOOLBOX-BUTTON", a, 0, {"TITLE"});
    return remove_mfc_toolbox_button(text_of(k.get("TITLE")));
  });
  def("SD-GET-MODULE-CONTROLLER-BUTTON", 1, 1,
      [](args_t a) { return sd_get_module_controller_button(as_string(a[0])); });
  def("SD-INSERT-MODULE-CONTROLLER-BUTTON", 2, any_count, [](args_t a) {
    keyword_args k("OLI:SD-INSERT-MODULE-CONTROLLER-BUTTON", a, 2,
                   {"MODULETITLE", "PAGETITLE", "ACTIVATIONFUNCTION", "DEACTIVATIONFUNCTION"});
    return sd_insert_module_controller_button(as_string(a[0]), as_string(a[1]), text_of(k.get("MODULETITLE")),
                                              text_of(k.get("PAGETITLE")), k.get("ACTIVATIONFUNCTION"),
                                              k.get("DEACTIVATIONFUNCTION"));
  });
  def("SD-SET-TOGGLEBUTTON", 1, 3, [](args_t a) {
    keyword_args k("OLI:SD-SET-TOGGLEBUTTON", a, 1, {"CALLACTION"});
    return sd_set_togglebutton(a[0], truthy(k.get("CALLACTION", t())));
  });
  def("SD-RESET-TOGGLEBUTTON", 1, 3, [](args_t a) {
    keyword_args k("OLI:SD-RESET-TOGGLEBUTTON", a, 1, {"CALLACTION"});
    return sd_reset_togglebutton(a[0], truthy(k.get("CALLACTION", t())));
  });
  def("SD-CREATE-COLUMN-DEFINITION", 1, any_count, [](args_t a) {
    keyword_args k("OLI:SD-CREATE-COLUMN-DEFINITION", a, 1,
                   {"TITLE", "ALIGNMENT", "INITIAL-WIDTH", "UI-ACCESSIBLE", "DISPLAY-FNC", "APPLICABLE-FNC",
                    "EDIT-FNC"});
    return sd_create_column_definition({a[0], text_of(k.get("TITLE")), k.get("ALIGNMENT"),
                                        k.get("INITIAL-WIDTH"), truthy(k.get("UI-ACCESSIBLE")),
                                        k.get("DISPLAY-FNC"), k.get("APPLICABLE-FNC"), k.get("EDIT-FNC")});
  });
  def("SD-CREATE-BROWSER-VIEW", 1, any_count, [](args_t a) {
    keyword_args k("OLI:SD-CREATE-BROWSER-VIEW", a, 1,
                   {"TITLE", "TREE-CONFIG", "DETAIL-CONFIG", "ACTIVATE-DETAIL-CONFIGURATION", "ENABLE"});
    return sd_create_browser_view({as_string(a[0]), text_of(k.get("TITLE")), k.get("TREE-CONFIG"),
                                   k.get("DETAIL-CONFIG"), truthy(k.get("ACTIVATE-DETAIL-CONFIGURATION")),
                                   k.get("ENABLE", t())});
  });
  def("SD-DELETE-BROWSER-VIEW", 1, 1, [](args_t a) { return sd_delete_browser_view(as_string(a[0])); });
  def("SD-MODULE-ACTIVE-P", 1, 1, [](args_t a) { return boolean(sd_module_active_p(as_string(a[0]))); });
  def("SD-DISPLAY-URL", 1, 1, [](args_t a) { return sd_display_url(as_string(a[0])); });
  def("SD-DISPLAY-ERROR", 1, 1, [](args_t a) { return sd_display_error(as_string(a[0])); });
  def("SD-BROWSE-FOR-FOLDER", 0, 2, [](args_t a) {
    keyword_args k("OLI:SD-BROWSE-FOR-FOLDER", a, 0, {"STARTDIR"});
    return sd_browse_for_folder(text_of(k.get("STARTDIR")));
  });
  def("DISPLAY", 1, 1, [](args_t a) {
    if (keywordp(a[0]) && as_symbol(a[0]).name == "SHOW") return display_show();
    return display(stringp(a[0]) ? as_string(a[0]) : princ_to_string(a[0]));
  });
  def("SD-STRING-SPLIT", 2, 2, [](args_t a) {
    std::vector<ref> parts;
    for (const std::string& p : sd_string_split(as_string(a[0]), as_string(a[1])))
      parts.push_back(make_string(p));
    return list_from(parts);
  });
  def("SD-WRITE-TO-STRING", 1, 1, [](args_t a) { return make_string(sd_write_to_string(a[0])); });
  def("SD-LOAD-CUSTOMIZATION-FILE", 1, any_count, [](args_t a) {
    keyword_args k("OLI:SD-LOAD-CUSTOMIZATION-FILE", a, 1, {"APPLICATION", "WHICH", "ORDER"});
    return sd_load_customization_file(as_string(a[0]), as_string(k.get("APPLICATION")), k.get("WHICH"),
                                      k.get("ORDER"));
  });

  // Console helpers: what a user does with the mouse.
  package& sdsim = require_package("SDSIM");
  auto sdsim_def = [&](std::string_view name, std::size_t min, std::size_t max, native_fn fn) {
    symbol& s = intern(name, sdsim);
    export_symbol(s, sdsim);
    defun(s, [n = "SDSIM:" + std::string(name), min, max, fn = std::move(fn)](args_t args) {
      check_argument_count(n, args, min, max);
      return fn(args);
    });
  };
  // (sdsim:run-command name) or (sdsim:run-command application group name):
  // chooses the command as from its button.
  sdsim_def("RUN-COMMAND", 1, 3, [](args_t a) {
    if (a.size() == 3) return sim::ui::run_command({as_string(a[0]), as_string(a[1]), as_string(a[2])});
    if (a.size() != 1) simple_error("SDSIM:RUN-COMMAND takes a command name or a command triplet.");
    for (const sim::ui::command& c : sim::ui::current().commands)
      if (c.triplet.name == as_string(a[0])) return sim::ui::run_command(c.triplet);
    simple_error("The command " + as_string(a[0]) + " is not defined.");
  });
  // (sdsim:click-module-button module-id): clicks the module's toggle on the
  // page of extension modules; answers the activation form's value.
  sdsim_def("CLICK-MODULE-BUTTON", 1, 1, [](args_t a) {
    ref button = sd_get_module_controller_button(as_string(a[0]));
    if (is_nil(button)) simple_error("The module " + as_string(a[0]) + " has no controller button.");
    bool on = handle_target<sim::ui::controller_button>(button, "MODULE-CONTROLLER-BUTTON")->on;
    return on ? sd_reset_togglebutton(button, true) : sd_set_togglebutton(button, true);
  });
  // (sdsim:set-module-active name flag): switches a host application module.
  sdsim_def("SET-MODULE-ACTIVE", 2, 2, [](args_t a) {
    auto& active = sim::ui::current().active_modules;
    std::erase(active, as_string(a[0]));
    if (truthy(a[1])) active.push_back(as_string(a[0]));
    return boolean(truthy(a[1]));
  });
});

}  // namespace
