// Unit vtm_core: loads the module's resource file and defines the module's
// application-level functions.
#pragma once

namespace vtm::core {

// The unit's top-level definitions, in the main package. Signals "The module
// resource file '~A' is missing!" when the home directory holds no resource
// file.
void define_vtm_core();

}  // namespace vtm::core
