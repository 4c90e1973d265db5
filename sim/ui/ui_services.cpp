// The user interface services of the simulated host (host/ui.h).
#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "host/events.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "ui/environment.h"
#include "ui/ui_state.h"

namespace sim::ui {

using namespace host::lisp;
using host::oli::control_path;

control* control::child(const std::string& child_name) const {
  for (const auto& c : children)
    if (c->name == child_name) return c.get();
  return nullptr;
}

namespace {

std::unique_ptr<control> make_control(std::string name, std::string kind, std::string title = {}) {
  auto c = std::make_unique<control>();
  c->name = std::move(name);
  c->kind = std::move(kind);
  c->title = std::move(title);
  return c;
}

state make_state() {
  state s;
  auto main = make_control("MAIN", "menu");
  auto inner = make_control("MAIN", "menu");
  inner->children.push_back(make_control("REGISTERED-SETTINGS", "menu", "Settings"));
  main->children.push_back(std::move(inner));
  s.root.children.push_back(std::move(main));
  s.active_modules = {"ANNOTATION", "MODELMANAGER"};
  return s;
}

control& require_control(const control_path& path) {
  control* c = find_control(path);
  if (!c) {
    std::string text;
    for (const std::string& p : path) text += (text.empty() ? "" : "/") + p;
    simple_error("There is no user interface control " + text + ".");
  }
  return *c;
}

std::string triplet_text(const command_triplet& t) {
  return "(\"" + t.application + "\" \"" + t.group + "\" \"" + t.name + "\")";
}

}  // namespace

state& current() {
  static state s = make_state();
  return s;
}

control* find_control(const control_path& path) {
  control* c = &current().root;
  for (const std::string& name : path) {
    c = c->child(name);
    if (!c) return nullptr;
  }
  return c;
}

command* find_command(const command_triplet& triplet) {
  for (command& c : current().commands)
    if (c.triplet == triplet) return &c;
  return nullptr;
}

ref run_command(const command_triplet& triplet) {
  command* c = find_command(triplet);
  if (!c) simple_error("The command " + triplet_text(triplet) + " is not defined.");
  if (!c->enabled) simple_error("The command " + triplet_text(triplet) + " is disabled.");
  if (stringp(c->data.action)) {
    host::frame2::put_buffer(as_string(c->data.action));
    return t();
  }
  return eval(c->data.action);
}

}  // namespace sim::ui

namespace host::oli {

using namespace host::lisp;
using sim::ui::current;

void sd_add_application_data(const std::string& id, const std::string& name, const std::string& short_name,
                             const std::string& title) {
  auto& apps = current().applications;
  std::erase_if(apps, [&](const sim::ui::application& a) { return a.id == id; });
  apps.push_back({id, name, short_name, title});
}

void sd_define_available_command(const command_triplet& triplet, const command_data& data,
                                 bool update_unknown_commands) {
  if (sim::ui::command* existing = sim::ui::find_command(triplet)) {
    existing->data = data;
    existing->update_unknown_commands = update_unknown_commands;
    return;
  }
  current().commands.push_back({triplet, data, false, update_unknown_commands});
}

namespace {
ref enable_commands(const std::string& application, bool on) {
  for (sim::ui::command& c : current().commands)
    if (c.triplet.application == application) c.enabled = on;
  return t();
}
}  // namespace

ref sd_enable_application_commands(const std::string& application) {
  return enable_commands(application, true);
}
ref sd_disable_application_commands(const std::string& application) {
  return enable_commands(application, false);
}

ref sd_inq_available_command_data(const command_triplet& triplet) {
  sim::ui::command* c = sim::ui::find_command(triplet);
  if (!c) return nil();
  const command_data& d = c->data;
  return list({ref(&keyword("TITLE")), make_string(d.title), ref(&keyword("GROUPTITLE")),
               make_string(d.group_title), ref(&keyword("DESCRIPTION")), make_string(d.description),
               ref(&keyword("IMAGE")), d.image ? make_string(*d.image) : nil(), ref(&keyword("ACTION")),
               d.action, ref(&keyword("UI-BEHAVIOR")), d.ui_behavior, ref(&keyword("ENABLED")),
               boolean(c->enabled)});
}

bool sd_fluentui_ribbon_tab_exist_p(const std::string& tab) {
  sim::ui::control* c = sim::ui::find_control({tab});
  return c && c->kind == "tab";
}

ref sd_fluentui_add_ribbon_tab(const std::string& tab, const std::string&, const std::string& title,
                               const ref& position, bool) {
  if (sim::ui::find_control({tab})) simple_error("The ribbon tab " + tab + " exists already.");
  auto c = std::make_unique<sim::ui::control>();
  c->name = tab;
  c->kind = "tab";
  c->title = title;
  auto& tabs = current().root.children;
  // Tabs stand before the menus; :start puts a tab first.
  auto menus = std::find_if(tabs.begin(), tabs.end(), [](const auto& t) { return t->kind == "menu"; });
  if (keywordp(position) && as_symbol(position).name == "START")
    tabs.insert(tabs.begin(), std::move(c));
  else
    tabs.insert(menus, std::move(c));
  return t();
}

bool fluentui_ribbon_group_exist_p(const std::string& group, const std::string& parent_tab) {
  sim::ui::control* c = sim::ui::find_control({parent_tab, group});
  return c && c->kind == "group";
}

ref sd_fluentui_add_ribbon_group(const std::string& group, const std::string& title,
                                 const std::string& parent_tab,
                                 const std::optional<command_triplet>& launcher) {
  sim::ui::control& tab = sim::ui::require_control({parent_tab});
  if (tab.child(group)) simple_error("The ribbon group " + parent_tab + "/" + group + " exists already.");
  auto c = std::make_unique<sim::ui::control>();
  c->name = group;
  c->kind = "group";
  c->title = title;
  c->command = launcher;
  tab.children.push_back(std::move(c));
  return t();
}

ref fluentui_destroy_ribbon_group(const std::string& group, const std::string& parent_tab) {
  sim::ui::control* tab = sim::ui::find_control({parent_tab});
  if (!tab || !tab->child(group)) return nil();
  std::erase_if(tab->children, [&](const auto& c) { return c->name == group; });
  return t();
}

ref sd_fluentui_add_ribbon_button(const ribbon_button& button) {
  sim::ui::control& parent = sim::ui::require_control(button.parent);
  auto c = std::make_unique<sim::ui::control>();
  c->kind = button.split_button ? "split-button" : "button";
  c->name = !button.name.empty() ? button.name : button.avail_cmd ? button.avail_cmd->name : button.label;
  c->title = button.label;
  c->command = button.avail_cmd;
  c->contents = button.contents;
  c->large_image = button.large_image;
  if (parent.child(c->name)) simple_error("The control " + c->name + " exists already.");
  parent.children.push_back(std::move(c));
  return t();
}

ref sd_fluentui_recalc_ribbon_layout() {
  ++current().layout_count;
  return t();
}

bool fluentui_ribbon_control_exist_p(const control_path& path) {
  return sim::ui::find_control(path) != nullptr;
}

namespace {
const control_path settings_menu = {"MAIN", "MAIN", "REGISTERED-SETTINGS"};
}

ref sd_register_settings(const std::string& submenu, const std::string& submenu_title,
                         const std::vector<settings_item>& items) {
  sim::ui::control& menu = sim::ui::require_control(settings_menu);
  sim::ui::control* sub = menu.child(submenu);
  if (!sub) {
    auto c = std::make_unique<sim::ui::control>();
    c->name = submenu;
    c->kind = "submenu";
    c->title = submenu_title;
    sub = c.get();
    menu.children.push_back(std::move(c));
  }
  for (const settings_item& item : items) {
    std::erase_if(sub->children, [&](const auto& c) { return c->name == item.item_name; });
    auto c = std::make_unique<sim::ui::control>();
    c->name = item.item_name;
    c->kind = "item";
    c->command = item.command;
    sub->children.push_back(std::move(c));
  }
  return t();
}

ref sd_unregister_settings(const std::string& submenu, const std::string& item_name) {
  sim::ui::control& menu = sim::ui::require_control(settings_menu);
  sim::ui::control* sub = menu.child(submenu);
  if (!sub) return nil();
  std::size_t removed = std::erase_if(sub->children, [&](const auto& c) { return c->name == item_name; });
  if (sub->children.empty()) std::erase_if(menu.children, [&](const auto& c) { return c->name == submenu; });
  return boolean(removed > 0);
}

ref sd_fluentui_add_help_button(const command_triplet& command) {
  auto& help = current().help_buttons;
  if (std::find(help.begin(), help.end(), command) == help.end()) help.push_back(command);
  return t();
}

ref sd_fluentui_remove_help_button(const command_triplet& command) {
  return boolean(std::erase(current().help_buttons, command) > 0);
}

ref add_mfc_toolbox_button(const std::string& title, const ref& action) {
  current().toolbox.push_back({title, action});
  return t();
}

ref remove_mfc_toolbox_button(const std::string& title) {
  return boolean(std::erase_if(current().toolbox, [&](const auto& b) { return b.title == title; }) > 0);
}

namespace {
constexpr const char* controller_kind = "MODULE-CONTROLLER-BUTTON";
}

ref sd_get_module_controller_button(const std::string& module_id) {
  for (const auto& b : current().controller_buttons)
    if (b->module_id == module_id) return make_handle(controller_kind, b);
  return nil();
}

ref sd_insert_module_controller_button(const std::string& module_id, const std::string& page,
                                       const std::string& module_title, const std::string& page_title,
                                       const ref& activation_form, const ref& deactivation_form) {
  if (truthy(sd_get_module_controller_button(module_id)))
    simple_error("The module " + module_id + " has a controller button already.");
  auto b = std::make_shared<sim::ui::controller_button>();
  *b = {module_id, page, module_title, page_title, activation_form, deactivation_form, false};
  current().controller_buttons.push_back(b);
  return make_handle(controller_kind, b);
}

namespace {
ref set_toggle(const ref& button, bool on, bool call_action) {
  auto b = handle_target<sim::ui::controller_button>(button, controller_kind);
  const bool was = b->on;
  b->on = on;
  if (!call_action) return t();
  try {
    return eval(on ? b->activation : b->deactivation);
  } catch (...) {
    // A failed switch leaves the toggle as it was.
    b->on = was;
    throw;
  }
}
}  // namespace

ref sd_set_togglebutton(const ref& button, bool call_action) { return set_toggle(button, true, call_action); }
ref sd_reset_togglebutton(const ref& button, bool call_action) {
  return set_toggle(button, false, call_action);
}

ref sd_create_column_definition(const column_definition& column) {
  auto& columns = current().columns;
  std::erase_if(columns, [&](const column_definition& c) { return c.id == column.id; });
  columns.push_back(column);
  return column.id;
}

ref sd_create_browser_view(const browser_view& view) {
  auto& views = current().views;
  if (std::any_of(views.begin(), views.end(), [&](const browser_view& v) { return v.id == view.id; }))
    simple_error("The browser view " + view.id + " exists already.");
  views.push_back(view);
  return make_string(view.id);
}

ref sd_delete_browser_view(const std::string& id) {
  return boolean(std::erase_if(current().views, [&](const browser_view& v) { return v.id == id; }) > 0);
}

bool sd_module_active_p(const std::string& module) {
  const auto& active = current().active_modules;
  return std::find(active.begin(), active.end(), module) != active.end();
}

ref sd_display_url(const std::string& url) {
  standard_output() << "Display URL: " << url << '\n' << std::flush;
  if (sim::open_urls()) {
    std::string command = "xdg-open '";
    for (char c : url) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "' >/dev/null 2>&1 &";
    if (std::system(command.c_str()) != 0) return nil();
  }
  return t();
}

ref sd_display_error(const std::string& text) {
  standard_output() << "Error box: " << text << '\n' << std::flush;
  return t();
}

ref sd_browse_for_folder(const std::string& start_dir) {
  standard_output() << "Browse for folder (from " << start_dir << "): " << std::flush;
  std::string folder;
  if (!std::getline(std::cin, folder)) {
    standard_output() << '\n' << std::flush;
    return nil();
  }
  while (!folder.empty() && (folder.back() == '\r' || folder.back() == ' ')) folder.pop_back();
  return folder.empty() ? nil() : make_string(folder);
}

ref display(const std::string& line) {
  standard_output() << line << '\n' << std::flush;
  return t();
}

ref display_show() {
  standard_output() << std::flush;
  return t();
}

std::vector<std::string> sd_string_split(const std::string& text, const std::string& separators) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (separators.find(c) != std::string::npos) {
      parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(std::move(part));
  return parts;
}

std::string sd_write_to_string(const ref& value) { return prin1_to_string(value); }

}  // namespace host::oli
