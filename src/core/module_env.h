// What the core units share: the main package, its symbols and settings,
// resource texts, the manifest, and the definition of Lisp functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "host/lisp/eval.h"
#include "host/lisp/object.h"

namespace vtm::core {

host::lisp::package& main_package();
host::lisp::symbol& main_symbol(std::string_view name);
// The value of a variable or constant of the main package.
host::lisp::ref main_value(std::string_view name);
std::string main_string(std::string_view name);  // a string constant
host::lisp::ref kw(std::string_view name);

// Dialog values: a toggle is off when NIL or :OFF; a text value (string,
// pathname or anything else printed) as text.
bool toggle_on(const host::lisp::ref& value);
std::string text_of(const host::lisp::ref& value);

void define_constant(std::string_view name, host::lisp::ref value);

// The text of a resource key, as GET-RESOURCE gives it.
std::string resource_text(std::string_view key);
// An entry of GET-MODULE-MANIFEST (NIL when missing).
host::lisp::ref manifest_entry(std::string_view key);

// Defines a function of the main package taking min..max arguments.
host::lisp::symbol& define_function(std::string_view name, std::size_t min, std::size_t max,
                                    host::lisp::native_fn fn);

// The module's identity and the shared extension group.
std::string module_id();               // +module-id+
std::string extension_cmd_group_id();  // +extension-cmd-group-id+
// +module-settings-dialog+, empty while NIL.
std::string module_settings_dialog();

}  // namespace vtm::core
