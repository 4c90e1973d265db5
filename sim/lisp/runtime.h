// Start-up of the simulated host's Lisp runtime.
#pragma once

#include <functional>

namespace host::lisp {

// Files that define Lisp builtins register an installer at static
// initialisation; the runtime runs every installer once, right after it has
// created the standard packages.
struct builtins_registration {
  explicit builtins_registration(std::function<void()> installer);
};

// Creates the standard packages and runs the installers; idempotent. Any use
// of packages calls it, so explicit calls are only for clarity.
void initialize_runtime();

}  // namespace host::lisp
