// The module's help pages below +module-help-location+.
#pragma once

#include <string>

#include "host/lisp/object.h"

namespace vtm::core {

// Opens page ("file" or "file#anchor") in the host's browser display; NIL
// and an error box when the page is missing.
host::lisp::ref display_module_help(const std::string& page = "Home.html");
// The help page of a dialog: VANTREL-MIGRATOR/<dialog>.dia.html.
std::string dialog_help_page(const std::string& dialog);
void define_help_function();

}  // namespace vtm::core
