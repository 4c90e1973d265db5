// The test program links the module, so its registration ran at start-up;
// this loads it the way the host does next.
#pragma once

#include <string>
#include <string_view>

#include "host/lisp/object.h"

namespace vtm_test {

// Calls init_load_init once per program and returns what that first call
// returned. SD-DOC-TOOLS is created before, as another module would have.
int load_module_once();

host::lisp::ref eval(std::string_view text);
// The message of the error that evaluating text signals; fails the test
// when it signals none.
std::string error_of(std::string_view text);

}  // namespace vtm_test
