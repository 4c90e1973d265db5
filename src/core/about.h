// The about command: the module's identity and configuration in the host's
// output box.
#pragma once

#include "host/lisp/object.h"

namespace vtm::core {

host::lisp::ref about_module();
void define_about_function();

}  // namespace vtm::core
