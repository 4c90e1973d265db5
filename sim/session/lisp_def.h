// Defining the host's Lisp functions of the session's services.
#pragma once

#include <string>
#include <string_view>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"

namespace sim {

// Defines package::name, called with min..max arguments.
inline void define_host_function(std::string_view package_name, std::string_view name, std::size_t min,
                                 std::size_t max, host::lisp::native_fn fn) {
  using namespace host::lisp;
  std::string full = std::string(package_name) + "::" + std::string(name);
  defun(name, require_package(package_name), [full, min, max, fn = std::move(fn)](args_t args) {
    check_argument_count(full, args, min, max);
    return fn(args);
  });
}

// As define_host_function, exported from its package: the simulator's own
// console functions (sdsim:...).
inline void define_console_function(std::string_view package_name, std::string_view name, std::size_t min,
                                    std::size_t max, host::lisp::native_fn fn) {
  using namespace host::lisp;
  define_host_function(package_name, name, min, max, std::move(fn));
  package& p = require_package(package_name);
  export_symbol(intern(name, p), p);
}

// A flag argument: NIL and :off are false, anything else (T, :on, :yes) true.
inline bool flag_value(const host::lisp::ref& value) {
  using namespace host::lisp;
  if (is_nil(value)) return false;
  if (keywordp(value)) {
    const std::string& n = static_cast<symbol&>(*value).name;
    return n != "OFF" && n != "NO";
  }
  return true;
}

}  // namespace sim
