#include "host/command_queue.h"

#include <deque>

#include "host/events.h"
#include "host/fault_points.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "lisp/runtime.h"

namespace {

std::deque<std::string>& queue() {
  static std::deque<std::string> lines;
  return lines;
}

using namespace host::lisp;

// (frame2::put-buffer line)
const builtins_registration put_buffer_function([] {
  defun("PUT-BUFFER", require_package("FRAME2"), [](args_t args) {
    check_argument_count("FRAME2::PUT-BUFFER", args, 1, 1);
    host::frame2::put_buffer(as_string(args[0]));
    return nil();
  });
});

}  // namespace

namespace host::frame2 {
void put_buffer(const std::string& command_line) { queue().push_back(command_line); }
}  // namespace host::frame2

namespace sim {

std::optional<std::string> take_queued_command() {
  if (queue().empty()) return std::nullopt;
  std::string line = std::move(queue().front());
  queue().pop_front();
  fault_point("command");
  return line;
}

}  // namespace sim
