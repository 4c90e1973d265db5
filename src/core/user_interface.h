// The module's user interface at the configured integration level
// (*user-interface-integration*), built from the registered command groups.
#pragma once

#include <string>

#include "host/lisp/object.h"

namespace vtm::core {

host::lisp::ref add_module_fluentui(const std::string& application);
host::lisp::ref destroy_module_fluentui();
host::lisp::ref register_module_settings_dialog();
host::lisp::ref unregister_module_settings_dialog();
host::lisp::ref add_module_fluentui_help();
host::lisp::ref remove_module_fluentui_help();
host::lisp::ref add_toolbox_commands();
host::lisp::ref remove_toolbox_commands();

host::lisp::ref register_module_user_interface(const std::string& application);
host::lisp::ref unregister_module_user_interface();

// Defines the functions above in the main package.
void define_user_interface_functions();

}  // namespace vtm::core
