// The customization of the module: the factory file in the home directory,
// the corporate, site and user customizations, then the persisted settings.
#pragma once

#include "host/lisp/object.h"

namespace vtm::core {

host::lisp::ref load_module_customization(bool with_persisted_settings);
void define_customization_function();

}  // namespace vtm::core
