// The module's command groups: their definitions, their registration as
// host commands, and the registered groups that the user interface
// builders work from.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/lisp/object.h"
#include "host/ui.h"

namespace vtm::core {

// One command of a group definition, read from its property list.
struct command_spec {
  host::lisp::ref cmd_id;        // string or NIL
  host::lisp::ref commandtitle;  // resource key or NIL
  host::lisp::ref description;   // resource key or NIL
  host::lisp::ref image;         // resource key or NIL
  host::lisp::ref action;        // dialog name or form
  host::lisp::ref ui_behavior;   // :default when absent
};

// (group-id label-key command-plist ...)
struct group_definition {
  host::lisp::ref id;         // keyword
  host::lisp::ref label_key;  // resource key
  std::vector<command_spec> commands;
};

// What get-available-commands returns per group: (group-id label triplet ...).
struct command_group {
  host::lisp::ref id;
  std::string label;
  std::vector<host::oli::command_triplet> triplets;
};

group_definition parse_group_definition(const host::lisp::ref& definition);
// Defines every command of the group with the host and puts the group in
// front of the registered groups.
void register_command_group(const group_definition& definition);
// The registered groups, newest first.
const std::vector<command_group>& available_commands();
// The registered group of that id, or nullptr.
const command_group* available_group(std::string_view id);
// Registers the groups of the module's table on the first call only.
void register_all_command_groups();
// Fixes the module's command-group table; reads +module-settings-dialog+ now.
void set_command_group_table();

host::lisp::ref triplet_list(const host::oli::command_triplet& t);
host::lisp::ref command_group_list(const command_group& g);

// Defines REGISTER-COMMAND-GROUP, GET-AVAILABLE-COMMANDS and
// REGISTER-ALL-COMMAND-GROUPS.
void define_command_group_functions();

}  // namespace vtm::core
