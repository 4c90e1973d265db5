// What the simulated host's user interface holds, for its services and for
// inspection from the console.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/lisp/object.h"
#include "host/ui.h"

namespace sim::ui {

using host::oli::command_triplet;

struct application {
  std::string id, name, short_name, title;
};

struct command {
  command_triplet triplet;
  host::oli::command_data data;
  bool enabled = false;
  bool update_unknown_commands = false;
};

// A node of the ribbon and menu tree.
struct control {
  std::string name;
  std::string kind;  // "tab", "group", "button", "split-button", "submenu", "item", "menu"
  std::string title;
  std::optional<command_triplet> command;  // buttons and items; a group's launcher
  std::vector<command_triplet> contents;   // entries of a split button
  bool large_image = false;
  std::vector<std::unique_ptr<control>> children;

  control* child(const std::string& child_name) const;
};

struct toolbox_button {
  std::string title;
  host::lisp::ref action;
};

struct controller_button {
  std::string module_id, page, module_title, page_title;
  host::lisp::ref activation, deactivation;
  bool on = false;
};

struct state {
  std::vector<application> applications;
  std::vector<command> commands;  // in definition order
  control root;                   // ribbon tabs, and MAIN/MAIN/REGISTERED-SETTINGS
  std::vector<command_triplet> help_buttons;
  std::vector<toolbox_button> toolbox;
  std::vector<std::shared_ptr<controller_button>> controller_buttons;
  std::vector<host::oli::column_definition> columns;
  std::vector<host::oli::browser_view> views;
  std::vector<std::string> active_modules;
  int layout_count = 0;  // ribbon relayouts, for inspection
};

state& current();
// The control at path, or nullptr.
control* find_control(const host::oli::control_path& path);
command* find_command(const command_triplet& triplet);
// Runs a command's action as the host does when the user chooses it: a
// string is a command line, queued; a form is evaluated. Signals when the
// command is unknown or disabled.
host::lisp::ref run_command(const command_triplet& triplet);

}  // namespace sim::ui
