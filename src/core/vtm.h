// Unit vtm, the last one: loads the customization, fixes the command-group
// table, and puts the module's toggle on the host's page of extension
// modules, whose button switches the module on and off.
#pragma once

#include "host/lisp/object.h"

namespace vtm::core {

host::lisp::ref activate_module();
host::lisp::ref deactivate_module();
bool module_active_p();

void define_vtm();

}  // namespace vtm::core
