// The console's view of the user interface: `show TOPIC` prints what a
// user would see. Topics: ribbon, toolbox, help-menu, settings-menu,
// modules, browser-views, columns, commands, applications, dialog, and the
// topics other services register (tables, browser, viewports, mm-status);
// all shows every one.
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "dialogs/dialog_engine.h"
#include "host/console.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "lisp/runtime.h"
#include "ui/ui_state.h"

namespace sim::ui {

namespace {

using namespace host::lisp;

std::string triplet_text(const command_triplet& t) {
  return "(\"" + t.application + "\" \"" + t.group + "\" \"" + t.name + "\")";
}

void out(const std::string& line) { standard_output() << line << '\n'; }

void show_controls(const control& c, int depth) {
  std::string line(2 * depth, ' ');
  line += c.kind + " " + c.name;
  if (!c.title.empty()) line += " \"" + c.title + "\"";
  if (c.large_image) line += " large";
  if (c.command) line += (c.kind == "group" ? " launcher " : " ") + triplet_text(*c.command);
  out(line);
  for (const command_triplet& entry : c.contents)
    out(std::string(2 * depth + 2, ' ') + "entry " + triplet_text(entry));
  for (const auto& child : c.children) show_controls(*child, depth + 1);
}

void show_ribbon() {
  out("Ribbon (" + std::to_string(current().layout_count) + " layouts):");
  for (const auto& c : current().root.children)
    if (c->kind == "tab") show_controls(*c, 1);
}

void show_settings_menu() {
  out("Settings menu:");
  if (const control* menu = find_control({"MAIN", "MAIN", "REGISTERED-SETTINGS"}))
    for (const auto& c : menu->children) show_controls(*c, 1);
}

void show_help_menu() {
  out("Help menu:");
  for (const command_triplet& t : current().help_buttons) out("  button " + triplet_text(t));
}

void show_toolbox() {
  out("Toolbox:");
  for (const toolbox_button& b : current().toolbox)
    out("  button \"" + b.title + "\" " + prin1_to_string(b.action));
}

void show_modules() {
  out("Extension modules:");
  for (const auto& b : current().controller_buttons)
    out("  " + b->page + " \"" + b->page_title + "\": " + b->module_id + " \"" + b->module_title + "\" " +
        (b->on ? "on" : "off") + " activation " + prin1_to_string(b->activation) + " deactivation " +
        prin1_to_string(b->deactivation));
}

void show_browser_views() {
  out("Browser views:");
  for (const host::oli::browser_view& v : current().views) {
    ref enabled = trap([&] { return eval(v.enable); });
    out("  " + v.id + " \"" + v.title + "\"" +
        (truthy(enabled) && !is_condition(enabled) ? " enabled" : " disabled"));
    out("    tree " + prin1_to_string(v.tree_config));
    out("    detail " + prin1_to_string(v.detail_config));
  }
}

void show_columns() {
  out("Browser columns:");
  for (const host::oli::column_definition& c : current().columns)
    out("  " + prin1_to_string(c.id) + " \"" + c.title + "\" display " + prin1_to_string(c.display_fnc));
}

void show_commands() {
  out("Commands:");
  for (const command& c : current().commands)
    out("  " + triplet_text(c.triplet) + " \"" + c.data.title + "\" " + (c.enabled ? "enabled" : "disabled") +
        " action " + prin1_to_string(c.data.action));
}

void show_applications() {
  out("Applications:");
  for (const application& a : current().applications)
    out("  " + a.id + " " + a.name + " " + a.short_name + " \"" + a.title + "\"");
}

void show_dialog() {
  for (const std::string& line : sim::dialogs::describe_active()) out(line);
}

std::vector<std::pair<std::string, std::function<void()>>>& topics() {
  static std::vector<std::pair<std::string, std::function<void()>>> all = {
      {"APPLICATIONS", show_applications},
      {"COMMANDS", show_commands},
      {"RIBBON", show_ribbon},
      {"TOOLBOX", show_toolbox},
      {"HELP-MENU", show_help_menu},
      {"SETTINGS-MENU", show_settings_menu},
      {"MODULES", show_modules},
      {"COLUMNS", show_columns},
      {"BROWSER-VIEWS", show_browser_views},
      {"DIALOG", show_dialog}};
  return all;
}

const builtins_registration show_command([] {
  register_host_command("SHOW", [](std::string_view arguments) {
    std::string topic;
    for (char c : arguments) topic += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    bool found = false;
    for (const auto& [name, show] : topics())
      if (topic == name || topic == "ALL") {
        show();
        found = true;
      }
    if (!found) {
      std::string names;
      for (const auto& [name, show] : topics()) names += " " + name;
      std::cerr << "Error: show what? One of" << names << " ALL.\n";
    }
    standard_output() << std::flush;
    return found;
  });
});

}  // namespace

}  // namespace sim::ui

namespace sim {
std::vector<std::string> show_topic_names() {
  std::vector<std::string> names;
  for (const auto& [name, show] : ui::topics()) names.push_back(name);
  return names;
}

void register_show_topic(std::string name, std::function<void()> show) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ui::topics().emplace_back(std::move(name), std::move(show));
}
}  // namespace sim
