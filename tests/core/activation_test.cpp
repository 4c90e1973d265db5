// Switching the module on and off. Each test starts from the state it
// needs, so that it runs alone as well as after the others.
#include <gtest/gtest.h>

#include <algorithm>

#include "core_fixture.h"
#include "ui/ui_state.h"

namespace {

using core_test::eval;
using core_test::print;
using sim::ui::current;
using sim::ui::find_control;

std::string triplet(const std::string& command) {
  return "(\"VT_MIGRATOR\" \"SDEXTENSION\" \"VT_MIGRATOR-" + command + "\")";
}

bool command_enabled(const std::string& name) {
  const sim::ui::command* c = sim::ui::find_command({"VT_MIGRATOR", "SDEXTENSION", "VT_MIGRATOR-" + name});
  return c && c->enabled;
}

bool controller_on() {
  return !current().controller_buttons.empty() && current().controller_buttons.front()->on;
}

TEST(Activation, StartsInactiveWithItsTogglePresent) {
  core_test::load_module();
  EXPECT_EQ(print("(vtm:get-available-commands)"), "NIL");
  EXPECT_EQ(print("(vtm:module-active-p)"), "NIL");
  ASSERT_EQ(current().controller_buttons.size(), 1u);
  const auto& b = *current().controller_buttons.front();
  EXPECT_EQ(b.page, "BRONTA-EXTENSION-MODULES");
  EXPECT_EQ(b.module_title, "Vantrel Migrator");
  EXPECT_EQ(b.page_title, "Extension Modules");
  EXPECT_FALSE(b.on);
  // Deactivating a module that was never on runs every removal step.
  EXPECT_EQ(print("(vtm:deactivate-module)"), "T");
  EXPECT_EQ(print("(vtm:get-available-commands)"), "NIL");
}

TEST(Activation, RegistersTheCommandsAndBuildsTheRibbon) {
  core_test::load_module();
  EXPECT_EQ(print("(vtm:activate-module)"), "T");
  EXPECT_EQ(print("(vtm:activate-module)"), "NIL");
  EXPECT_EQ(print("(vtm:module-active-p)"), "T");
  EXPECT_TRUE(controller_on());

  EXPECT_EQ(print("(mapcar #'car (vtm:get-available-commands))"), "(:MIGRATION-TOOLS :HELP :SETTINGS)");
  EXPECT_EQ(print("(vtm:get-available-commands :help)"),
            "(:HELP \"Help\" " + triplet("MODULE-DOCS") + " " + triplet("ABOUT-MODULE") + ")");
  EXPECT_EQ(print("(vtm:get-available-commands :nothing)"), "NIL");

  // Only the last command of a group asks the host to update unknown commands.
  std::vector<std::string> updating;
  for (const sim::ui::command& c : current().commands) {
    EXPECT_TRUE(c.enabled) << c.triplet.name;
    if (c.update_unknown_commands) updating.push_back(c.triplet.name);
  }
  EXPECT_EQ(updating, (std::vector<std::string>{"VT_MIGRATOR-MODULE-SETTINGS", "VT_MIGRATOR-ABOUT-MODULE",
                                                "VT_MIGRATOR-ASSISTED_CHECKIN"}));
  const sim::ui::command* tool =
      sim::ui::find_command({"VT_MIGRATOR", "SDEXTENSION", "VT_MIGRATOR-IMPORT_ASSEMBLER"});
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(tool->data.title, "Import Assembler");
  EXPECT_EQ(tool->data.group_title, "Extensions");
  ASSERT_TRUE(tool->data.image);
  EXPECT_TRUE(tool->data.image->ends_with("/vt_migrator/images/vtm_import_assembler.png"))
      << *tool->data.image;

  const sim::ui::control* group = find_control({"SDEXTENSION", "VT_MIGRATOR"});
  ASSERT_NE(group, nullptr);
  ASSERT_TRUE(group->command);
  EXPECT_EQ(group->command->name, "VT_MIGRATOR-MODULE-SETTINGS");  // the launcher
  ASSERT_EQ(group->children.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(group->children[i]->kind, "button");
    EXPECT_FALSE(group->children[i]->large_image);
  }
  EXPECT_EQ(group->children[1]->command->name, "VT_MIGRATOR-IMPORT_ASSEMBLER");
  const sim::ui::control& help = *group->children[3];
  EXPECT_EQ(help.kind, "split-button");
  EXPECT_EQ(help.title, "Help");
  ASSERT_EQ(help.contents.size(), 2u);
  EXPECT_EQ(help.contents[0].name, "VT_MIGRATOR-MODULE-DOCS");

  EXPECT_NE(
      find_control({"MAIN", "MAIN", "REGISTERED-SETTINGS", "SDEXTENSION", "VT_MIGRATOR-MODULE-SETTINGS"}),
      nullptr);
  ASSERT_EQ(current().help_buttons.size(), 1u);
  EXPECT_EQ(current().help_buttons[0].name, "VT_MIGRATOR-MODULE-DOCS");
  ASSERT_EQ(current().views.size(), 1u);
  EXPECT_EQ(current().views[0].id, "NAME-CONFLICT-BROWSER-VIEW");
  EXPECT_EQ(current().columns.size(), 1u);
}

TEST(Activation, DeactivationRemovesWhatActivationBuilt) {
  core_test::load_module();
  eval("(vtm:activate-module)");
  EXPECT_EQ(print("(vtm:deactivate-module)"), "T");
  EXPECT_EQ(print("(vtm:module-active-p)"), "NIL");
  EXPECT_FALSE(controller_on());
  EXPECT_EQ(find_control({"SDEXTENSION", "VT_MIGRATOR"}), nullptr);
  EXPECT_NE(find_control({"SDEXTENSION"}), nullptr);  // the shared tab stays
  EXPECT_EQ(find_control({"MAIN", "MAIN", "REGISTERED-SETTINGS", "SDEXTENSION"}), nullptr);
  EXPECT_TRUE(current().help_buttons.empty());
  EXPECT_TRUE(current().views.empty());
  // Still defined with the host, but disabled.
  EXPECT_EQ(current().commands.size(), 6u);
  EXPECT_FALSE(command_enabled("IMPORT_ASSEMBLER"));
}

TEST(Activation, AGainEnablesTheSameCommands) {
  core_test::load_module();
  eval("(vtm:deactivate-module)");
  EXPECT_EQ(print("(sdsim:click-module-button \"VT_MIGRATOR\")"), "T");
  EXPECT_EQ(current().commands.size(), 6u);
  EXPECT_TRUE(command_enabled("IMPORT_ASSEMBLER"));
  EXPECT_EQ(print("(length (vtm:get-available-commands))"), "3");
  EXPECT_EQ(print("(sdsim:click-module-button \"VT_MIGRATOR\")"), "T");
  EXPECT_EQ(print("(vtm:module-active-p)"), "NIL");
}

TEST(Activation, PutsTheToolsIntoTheToolboxWhenAskedTo) {
  core_test::load_module();
  eval("(setq vtm:*user-interface-integration* :toolbox)");
  eval("(vtm:activate-module)");
  std::vector<std::string> titles;
  for (const sim::ui::toolbox_button& b : current().toolbox) titles.push_back(b.title);
  // The first help command is in the help menu, the settings in the settings menu.
  EXPECT_EQ(titles, (std::vector<std::string>{"Drawing Associator", "Import Assembler", "Assisted Check-in",
                                              "About"}));
  EXPECT_EQ(find_control({"SDEXTENSION", "VT_MIGRATOR"}), nullptr);
  EXPECT_EQ(current().help_buttons.size(), 1u);
  EXPECT_NE(
      find_control({"MAIN", "MAIN", "REGISTERED-SETTINGS", "SDEXTENSION", "VT_MIGRATOR-MODULE-SETTINGS"}),
      nullptr);
  eval("(vtm:deactivate-module)");
  EXPECT_TRUE(current().toolbox.empty());
  EXPECT_TRUE(current().help_buttons.empty());

  eval("(setq vtm:*user-interface-integration* :none)");
  EXPECT_EQ(print("(vtm::register-module-user-interface)"), "NIL");
  EXPECT_TRUE(command_enabled("ABOUT-MODULE"));
  EXPECT_TRUE(current().toolbox.empty());
  EXPECT_TRUE(current().help_buttons.empty());
  EXPECT_EQ(find_control({"MAIN", "MAIN", "REGISTERED-SETTINGS", "SDEXTENSION"}), nullptr);
  eval("(vtm::unregister-module-user-interface)");
  eval("(setq vtm:*user-interface-integration* :fluentui)");
}

TEST(Activation, GroupSizesChooseTheKindOfButton) {
  core_test::load_module();
  eval("(vtm:activate-module)");
  eval("(vtm::destroy-module-fluentui)");
  eval(
      "(vtm::register-command-group '(:four :migration-tools-group-title (:cmd-id \"A\") (:cmd-id \"B\") "
      "(:cmd-id \"C\") (:cmd-id \"D\")))");
  eval(
      "(vtm::register-command-group '(:one :help-cmd-group-title (:cmd-id \"E\" :commandtitle "
      ":module-title)))");
  eval("(vtm::register-command-group '(:none :help-cmd-group-title))");
  EXPECT_EQ(print("(vtm::add-module-fluentui)"), "T");
  EXPECT_EQ(print("(vtm::add-module-fluentui)"), "NIL");  // the group exists
  const sim::ui::control* group = find_control({"SDEXTENSION", "VT_MIGRATOR"});
  ASSERT_NE(group, nullptr);
  std::vector<std::string> kinds;
  for (const auto& c : group->children)
    kinds.push_back(c->kind + " " + c->name + (c->large_image ? " large" : ""));
  EXPECT_EQ(kinds, (std::vector<std::string>{
                       "button VT_MIGRATOR-E large", "split-button Migration Tools large",
                       "button VT_MIGRATOR-DRAWING_ASSOCIATOR", "button VT_MIGRATOR-IMPORT_ASSEMBLER",
                       "button VT_MIGRATOR-ASSISTED_CHECKIN", "split-button Help"}));
  EXPECT_EQ(group->children[1]->contents.size(), 4u);
  eval("(vtm:deactivate-module)");
}

}  // namespace
