// How the simulated host's commands fail: they set the host's error state
// (see host/command_errors.h) and signal an error with the same message.
#pragma once

#include <string>
#include <string_view>

#include "host/lisp/object.h"

namespace sim {

// module and code are keyword names, for example "FRAME2-UI", "LOAD-FAILED".
[[noreturn]] void host_command_failed(std::string_view module, std::string_view code, std::string message);
// A new error object (FRAME2::ERROR-OBJECT) of keyword names module and code.
host::lisp::ref error_object(std::string_view module, std::string_view code, std::string message);
// Makes the error object the host's error state and sets the active flag.
void set_error_state(const host::lisp::ref& error_object);

}  // namespace sim
