#include "core/vtm.h"

#include "core/command_groups.h"
#include "core/customization.h"
#include "core/module_env.h"
#include "core/user_interface.h"
#include "core/vtm_doctools.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/ui.h"

namespace vtm::core {

using namespace host::lisp;

namespace {

bool& active_flag() {
  static bool active = false;
  return active;
}

constexpr const char* extension_modules_page = "BRONTA-EXTENSION-MODULES";

ref call_form(std::string_view function) { return list({ref(&main_symbol(function))}); }

void create_name_conflict_view() {
  host::oli::sd_create_column_definition({kw("MODEL-NAME-CONFLICT"), "Name Conflict", kw("LEFT"), kw("AUTO"),
                                          true, ref(&main_symbol("FORMAT-NAME-CONFLICT-CELL")), nil(),
                                          nil()});
  host::oli::browser_view view;
  view.id = main_string("+NAME-CONFLICT-BROWSER-VIEW+");
  view.title = "Conflict View";
  view.tree_config =
      list({kw("INSTANCE-NAME"), make_string(" ["), kw("MM-VERSION"), make_string("] "), kw("MM-STATE")});
  view.detail_config = list({kw("CONTENTS-NAME"), kw("MODEL-NAME-CONFLICT"), kw("DOC-UID-COLUMN"),
                             kw("MM-VERSION"), kw("MM-STATE"), kw("DB-STATE"), kw("PART-UID-COLUMN"),
                             kw("IN-PACKET-DMS-NAME-COLUMN"), kw("SHARED"), kw("SELECTIVE-INSTANCE-CONTEXT"),
                             kw("PATH-NAME"), kw("MODIFIABLE"), kw("MODIFIED")});
  view.activate_detail_configuration = true;
  view.enable =
      list({ref(&intern("SD-MODULE-ACTIVE-P", require_package("OLI"))), make_string("MODELMANAGER")});
  host::oli::sd_create_browser_view(view);
}

}  // namespace

ref activate_module() {
  if (active_flag()) return nil();
  register_module_user_interface("SolidDesigner");
  create_name_conflict_view();
  ref button = host::oli::sd_get_module_controller_button(module_id());
  if (truthy(button)) host::oli::sd_set_togglebutton(button, false);
  active_flag() = true;
  return t();
}

ref deactivate_module() {
  unregister_module_user_interface();
  host::oli::sd_delete_browser_view(main_string("+NAME-CONFLICT-BROWSER-VIEW+"));
  ref button = host::oli::sd_get_module_controller_button(module_id());
  if (truthy(button)) host::oli::sd_reset_togglebutton(button, false);
  active_flag() = false;
  return t();
}

bool module_active_p() { return active_flag(); }

void define_vtm() {
  load_module_customization(true);
  set_command_group_table();
  active_flag() = false;
  doc::function(
      ref(&define_function("MODULE-ACTIVE-P", 0, 0, [](args_t) { return boolean(module_active_p()); })),
      nil(), {"True while the module is switched on."});
  doc::function(ref(&define_function("ACTIVATE-MODULE", 0, 0, [](args_t) { return activate_module(); })),
                nil(),
                {"Switches the module on: registers its commands, builds its user interface at the level of",
                 "`*user-interface-integration*` and creates the name-conflict browser view.",
                 "Answers T, or NIL when the module is on already."});
  doc::function(ref(&define_function("DEACTIVATE-MODULE", 0, 0, [](args_t) { return deactivate_module(); })),
                nil(),
                {"Switches the module off: removes its user interface and browser view and disables its",
                 "commands. Answers T."});
  if (is_nil(host::oli::sd_get_module_controller_button(module_id())))
    host::oli::sd_insert_module_controller_button(
        module_id(), extension_modules_page, resource_text("MODULE-TITLE"),
        resource_text("EXTENSION-MODULES-PAGE-TITLE"), call_form("ACTIVATE-MODULE"),
        call_form("DEACTIVATE-MODULE"));
}

}  // namespace vtm::core
