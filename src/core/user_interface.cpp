#include "core/user_interface.h"

#include "core/command_groups.h"
#include "core/module_env.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/ui.h"

namespace vtm::core {

using namespace host::lisp;
using host::oli::command_triplet;

namespace {

bool is_group(const command_group& g, std::string_view id) {
  return keywordp(g.id) && as_symbol(g.id).name == id;
}

// The first triplet of a group; the host's destructuring error when the
// group is missing or empty.
const command_triplet& first_triplet(std::string_view group) {
  const command_group* g = available_group(group);
  if (!g || g->triplets.empty())
    simple_error("Error while destructuring: the :" + std::string(group) +
                 " command group has too few elements.");
  return g->triplets.front();
}

std::string integration_level() {
  ref level = main_value("*USER-INTERFACE-INTEGRATION*");
  return keywordp(level) ? as_symbol(level).name : std::string();
}

const host::oli::control_path settings_menu = {"MAIN", "MAIN", "REGISTERED-SETTINGS"};

// The toolbox title and action of a command; NIL action when absent.
std::pair<std::string, ref> toolbox_entry(const command_triplet& t) {
  ref data = host::oli::sd_inq_available_command_data(t);
  ref title = getf(data, kw("TITLE"));
  return {is_nil(title) ? std::string() : as_string(title), getf(data, kw("ACTION"))};
}

}  // namespace

ref add_module_fluentui(const std::string& application) {
  const std::string tab = extension_cmd_group_id(), group = module_id();
  if (!host::oli::sd_fluentui_ribbon_tab_exist_p(tab))
    host::oli::sd_fluentui_add_ribbon_tab(tab, application, resource_text("BRONTA-CMD-GROUP-TITLE"),
                                          kw("END"), true);
  if (host::oli::fluentui_ribbon_group_exist_p(group, tab)) return nil();
  std::optional<command_triplet> launcher;
  if (const command_group* settings = available_group("SETTINGS"); settings && !settings->triplets.empty())
    launcher = settings->triplets.front();
  host::oli::sd_fluentui_add_ribbon_group(group, resource_text("MODULE-TITLE"), tab, launcher);
  const host::oli::control_path parent = {tab, group};
  for (const command_group& g : available_commands()) {
    if (is_group(g, "HELP") || is_group(g, "SETTINGS")) continue;
    const std::size_t n = g.triplets.size();
    if (n > 3) {
      host::oli::ribbon_button b{parent, {}, true, true, g.label, std::nullopt, g.triplets};
      host::oli::sd_fluentui_add_ribbon_button(b);
    } else if (n == 1) {
      host::oli::sd_fluentui_add_ribbon_button({parent, {}, false, true, {}, g.triplets.front(), {}});
    } else {
      for (const command_triplet& t : g.triplets)
        host::oli::sd_fluentui_add_ribbon_button({parent, {}, false, false, {}, t, {}});
    }
  }
  if (const command_group* help = available_group("HELP"))
    host::oli::sd_fluentui_add_ribbon_button(
        {parent, {}, true, false, help->label, std::nullopt, help->triplets});
  return host::oli::sd_fluentui_recalc_ribbon_layout();
}

ref destroy_module_fluentui() {
  host::oli::fluentui_destroy_ribbon_group(module_id(), extension_cmd_group_id());
  return host::oli::sd_fluentui_recalc_ribbon_layout();
}

ref register_module_settings_dialog() {
  const command_triplet t = first_triplet("SETTINGS");
  const std::string submenu = extension_cmd_group_id();
  host::oli::control_path submenu_path = settings_menu;
  submenu_path.push_back(submenu);
  if (!host::oli::fluentui_ribbon_control_exist_p(submenu_path))
    return host::oli::sd_register_settings(submenu, resource_text("BRONTA-CMD-GROUP-TITLE"), {{t.name, t}});
  host::oli::control_path item_path = submenu_path;
  item_path.push_back(t.name);
  if (host::oli::fluentui_ribbon_control_exist_p(item_path)) return nil();
  return host::oli::sd_fluentui_add_ribbon_button({submenu_path, t.name, false, false, {}, t, {}});
}

// Before the first activation no group is registered and nothing was put
// into the menus, so the removers have nothing to remove.
const command_triplet* registered_first_triplet(std::string_view group) {
  const command_group* g = available_group(group);
  return g && !g->triplets.empty() ? &g->triplets.front() : nullptr;
}

ref unregister_module_settings_dialog() {
  const command_triplet* t = registered_first_triplet("SETTINGS");
  return t ? host::oli::sd_unregister_settings(extension_cmd_group_id(), t->name) : nil();
}

ref add_module_fluentui_help() { return host::oli::sd_fluentui_add_help_button(first_triplet("HELP")); }

ref remove_module_fluentui_help() {
  const command_triplet* t = registered_first_triplet("HELP");
  return t ? host::oli::sd_fluentui_remove_help_button(*t) : nil();
}

ref add_toolbox_commands() {
  for (const command_group& g : available_commands()) {
    if (is_group(g, "SETTINGS")) continue;
    // The first help command is the help menu's entry.
    std::size_t first = is_group(g, "HELP") ? 1 : 0;
    for (std::size_t i = first; i < g.triplets.size(); ++i) {
      auto [title, action] = toolbox_entry(g.triplets[i]);
      host::oli::add_mfc_toolbox_button(title, action);
    }
  }
  return nil();
}

ref remove_toolbox_commands() {
  for (const command_group& g : available_commands()) {
    if (is_group(g, "SETTINGS")) continue;
    for (const command_triplet& t : g.triplets) host::oli::remove_mfc_toolbox_button(toolbox_entry(t).first);
  }
  return nil();
}

ref register_module_user_interface(const std::string& application) {
  register_all_command_groups();
  host::oli::sd_enable_application_commands(module_id());
  const std::string level = integration_level();
  const bool settings = !module_settings_dialog().empty();
  if (level == "FLUENTUI") {
    add_module_fluentui(application);
    if (settings) register_module_settings_dialog();
    return add_module_fluentui_help();
  }
  if (level == "TOOLBOX") {
    if (settings) register_module_settings_dialog();
    add_module_fluentui_help();
    return add_toolbox_commands();
  }
  if (level == "CUSTOM") {
    if (settings) register_module_settings_dialog();
    return add_module_fluentui_help();
  }
  return nil();
}

ref unregister_module_user_interface() {
  if (!module_settings_dialog().empty()) unregister_module_settings_dialog();
  const std::string level = integration_level();
  if (level == "FLUENTUI")
    destroy_module_fluentui();
  else if (level == "TOOLBOX")
    remove_toolbox_commands();
  remove_module_fluentui_help();
  return host::oli::sd_disable_application_commands(module_id());
}

void define_user_interface_functions() {
  auto application_of = [](args_t a, std::string_view function) {
    keyword_args k(function, a, 0, {"APPLICATION"});
    return k.has("APPLICATION") ? as_string(k.get("APPLICATION")) : std::string("SolidDesigner");
  };
  define_function("ADD-MODULE-FLUENTUI", 0, 2, [application_of](args_t a) {
    return add_module_fluentui(application_of(a, "ADD-MODULE-FLUENTUI"));
  });
  define_function("DESTROY-MODULE-FLUENTUI", 0, 0, [](args_t) { return destroy_module_fluentui(); });
  define_function("REGISTER-MODULE-SETTINGS-DIALOG", 0, 0,
                  [](args_t) { return register_module_settings_dialog(); });
  define_function("UNREGISTER-MODULE-SETTINGS-DIALOG", 0, 0,
                  [](args_t) { return unregister_module_settings_dialog(); });
  define_function("ADD-MODULE-FLUENTUI-HELP", 0, 0, [](args_t) { return add_module_fluentui_help(); });
  define_function("REMOVE-MODULE-FLUENTUI-HELP", 0, 0, [](args_t) { return remove_module_fluentui_help(); });
  define_function("ADD-TOOLBOX-COMMANDS", 0, 0, [](args_t) { return add_toolbox_commands(); });
  define_function("REMOVE-TOOLBOX-COMMANDS", 0, 0, [](args_t) { return remove_toolbox_commands(); });
  define_function("REGISTER-MODULE-USER-INTERFACE", 0, 2, [application_of](args_t a) {
    return register_module_user_interface(application_of(a, "REGISTER-MODULE-USER-INTERFACE"));
  });
  define_function("UNREGISTER-MODULE-USER-INTERFACE", 0, 0,
                  [](args_t) { return unregister_module_user_interface(); });
}

}  // namespace vtm::core
