#include "core/vtm_core.h"

#include "core/about.h"
#include "core/command_groups.h"
#include "core/customization.h"
#include "core/help.h"
#include "core/module_env.h"
#include "core/user_interface.h"
#include "core/vtm_core_config.h"
#include "core/vtm_doctools.h"
#include "frame/loadmodule.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/native.h"
#include "host/ui.h"

namespace vtm::core {

namespace {

using namespace host::lisp;

// Without a home directory the module's files would be looked for in the
// working directory, and whatever lies there would run: refuse instead.
void require_home_directory(std::string_view file_name) {
  if (truthy(main_value("+HOME+"))) return;
  simple_error(format("The module resource file '~A' is missing!", make_string(file_name)) + " " +
               home_search_sentence());
}

void load_resource_file() {
  require_home_directory(main_string("+RESOURCE-FILE+") + ".lsp");
  pathname_parts parts;
  parts.directory = list_to_vector(main_value("+HOME+"));
  parts.name = main_string("+RESOURCE-FILE+");
  parts.type = "lsp";
  ref file = make_pathname(std::move(parts));
  if (is_nil(probe_file(file))) FEerror(L"The module resource file '~A' is missing!", autorelease(file));
  load(to_path(file));
}

void document_functions() {
  auto fun = [](std::string_view name, std::initializer_list<std::string_view> lines) {
    doc::function(ref(&main_symbol(name)), nil(), lines);
  };
  fun("GET-AVAILABLE-COMMANDS",
      {"The registered command groups, newest first, or the one whose id is given."});
  fun("LOAD-MODULE-CUSTOMIZATION",
      {"Loads the factory customization, then the corporate, site and user customizations;",
       "with a true argument also the persisted settings."});
  fun("DISPLAY-MODULE-HELP", {"Opens a help page of the module, by default Home.html."});
  fun("ABOUT-MODULE", {"Shows the module's version and configuration in the output box."});
}

}  // namespace

void define_vtm_core() {
  load_resource_file();
  host::oli::sd_add_application_data(module_id(), as_string(manifest_entry("MODULE-NAME")), "vtm",
                                     resource_text("MODULE-TITLE"));
  define_customization_function();
  define_help_function();
  define_about_function();
  define_command_group_functions();
  define_user_interface_functions();
  document_functions();
}

}  // namespace vtm::core
