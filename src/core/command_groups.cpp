#include "core/command_groups.h"

#include "core/module_env.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"

namespace vtm::core {

using namespace host::lisp;
using host::oli::command_triplet;

namespace {

std::vector<command_group>& registered() {
  static std::vector<command_group> groups;
  return groups;
}

// The table that register_all_command_groups registers once; entries that
// are nullopt are skipped.
std::vector<std::optional<group_definition>>& table() {
  static std::vector<std::optional<group_definition>> t;
  return t;
}

std::string text_or_nil(const ref& key) {
  return is_nil(key) ? std::string() : resource_text(as_symbol(key).name);
}

std::optional<std::string> image_file(const ref& image_key) {
  if (is_nil(image_key)) return std::nullopt;
  pathname_parts p;
  p.directory = list_to_vector(main_value("+MODULE-IMAGES-DIR+"));
  // The resource text names the file with its extension.
  split_file_name(resource_text(as_symbol(image_key).name), p);
  return namestring(p);
}

command_spec command(const char* id, const char* title, const char* description, const char* image,
                     ref action) {
  return {make_string(id), kw(title), kw(description), kw(image), std::move(action), kw("DEFAULT")};
}

}  // namespace

group_definition parse_group_definition(const ref& definition) {
  std::vector<ref> parts = list_to_vector(definition);
  if (parts.size() < 2)
    simple_error("A command group needs a group id and a label key: " + prin1_to_string(definition));
  group_definition g{parts[0], parts[1], {}};
  for (std::size_t i = 2; i < parts.size(); ++i) {
    const ref& p = parts[i];
    g.commands.push_back({getf(p, kw("CMD-ID")), getf(p, kw("COMMANDTITLE")), getf(p, kw("DESCRIPTION")),
                          getf(p, kw("IMAGE")), getf(p, kw("ACTION")),
                          getf(p, kw("UI-BEHAVIOR"), kw("DEFAULT"))});
  }
  return g;
}

void register_command_group(const group_definition& definition) {
  const std::string id = module_id(), group = extension_cmd_group_id();
  const std::string group_title = resource_text("BRONTA-CMD-GROUP-TITLE");
  command_group g{definition.id, resource_text(as_symbol(definition.label_key).name), {}};
  for (std::size_t i = 0; i < definition.commands.size(); ++i) {
    const command_spec& c = definition.commands[i];
    command_triplet t{id, group, id + "-" + (is_nil(c.cmd_id) ? std::string() : as_string(c.cmd_id))};
    host::oli::command_data data{text_or_nil(c.commandtitle), group_title, text_or_nil(c.description),
                                 image_file(c.image),         c.action,    c.ui_behavior};
    host::oli::sd_define_available_command(t, data, i + 1 == definition.commands.size());
    g.triplets.push_back(t);
  }
  registered().insert(registered().begin(), std::move(g));
}

const std::vector<command_group>& available_commands() { return registered(); }

const command_group* available_group(std::string_view id) {
  for (const command_group& g : registered())
    if (keywordp(g.id) && as_symbol(g.id).name == id) return &g;
  return nullptr;
}

void register_all_command_groups() {
  for (const auto& entry : table())
    if (entry) register_command_group(*entry);
  table().clear();
}

void set_command_group_table() {
  table().clear();
  std::string settings = module_settings_dialog();
  if (!settings.empty())
    table().push_back(
        group_definition{kw("SETTINGS"),
                         kw("BRONTA-CMD-GROUP-TITLE"),
                         {command("MODULE-SETTINGS", "SETTINGS-CMD-TITLE", "SETTINGS-CMD-DESCRIPTION",
                                  "SETTINGS-CMD-IMAGE", make_string(settings))}});
  table().push_back(
      group_definition{kw("HELP"),
                       kw("HELP-CMD-GROUP-TITLE"),
                       {command("MODULE-DOCS", "MODULE-TITLE", "DISPLAY-DOC-CMD-DESCRIPTION",
                                "DISPLAY-DOC-CMD-IMAGE", list({ref(&main_symbol("DISPLAY-MODULE-HELP"))})),
                        command("ABOUT-MODULE", "MODULE-ABOUT-CMD-TITLE", "MODULE-ABOUT-CMD-DESCRIPTION",
                                "MODULE-ABOUT-CMD-IMAGE", list({ref(&main_symbol("ABOUT-MODULE"))}))}});
  table().push_back(group_definition{
      kw("MIGRATION-TOOLS"),
      kw("MIGRATION-TOOLS-GROUP-TITLE"),
      {command("DRAWING_ASSOCIATOR", "DRAWING_ASSOCIATOR-TITLE", "DRAWING_ASSOCIATOR-CMD-DESCRIPTION",
               "DRAWING_ASSOCIATOR-CMD-IMAGE", make_string("VANTREL_DRAWING_ASSOCIATOR")),
       command("IMPORT_ASSEMBLER", "IMPORT_ASSEMBLER-TITLE", "IMPORT_ASSEMBLER-CMD-DESCRIPTION",
               "IMPORT_ASSEMBLER-CMD-IMAGE", make_string("VANTREL_MM_IMPORT_ASSEMBLER")),
       command("ASSISTED_CHECKIN", "ASSISTED_CHECKIN-TITLE", "ASSISTED_CHECKIN-CMD-DESCRIPTION",
               "ASSISTED_CHECKIN-CMD-IMAGE", make_string("VANTREL_MM_ASSISTED_CHECKIN"))}});
}

ref triplet_list(const command_triplet& t) {
  return list({make_string(t.application), make_string(t.group), make_string(t.name)});
}

ref command_group_list(const command_group& g) {
  std::vector<ref> items{g.id, make_string(g.label)};
  for (const command_triplet& t : g.triplets) items.push_back(triplet_list(t));
  return list_from(items);
}

void define_command_group_functions() {
  define_function("REGISTER-COMMAND-GROUP", 1, 1, [](args_t a) {
    register_command_group(parse_group_definition(a[0]));
    std::vector<ref> all;
    for (const command_group& g : registered()) all.push_back(command_group_list(g));
    return list_from(all);
  });
  define_function("GET-AVAILABLE-COMMANDS", 0, 1, [](args_t a) {
    if (a.empty() || is_nil(a[0])) {
      std::vector<ref> all;
      for (const command_group& g : registered()) all.push_back(command_group_list(g));
      return list_from(all);
    }
    for (const command_group& g : registered())
      if (eql(g.id, a[0])) return command_group_list(g);
    return nil();
  });
  define_function("REGISTER-ALL-COMMAND-GROUPS", 0, 0, [](args_t) {
    register_all_command_groups();
    return nil();
  });
}

}  // namespace vtm::core
