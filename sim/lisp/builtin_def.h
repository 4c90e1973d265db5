// Definition of the COMMON-LISP functions the simulated host provides.
#pragma once

#include <string>
#include <string_view>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"

namespace host::lisp {

// Defines the COMMON-LISP function `name`, called with min..max arguments
// (max any_count for no limit).
inline void define_builtin(std::string_view name, std::size_t min, std::size_t max, native_fn fn) {
  defun(cl_symbol(name), [n = std::string(name), min, max, fn = std::move(fn)](args_t args) {
    check_argument_count(n, args, min, max);
    return fn(args);
  });
}

}  // namespace host::lisp
