// Points of the host where a test can end the process as a crash would, at
// an event rather than after a delay, so that the test means the same on a
// loaded machine.
//
// SDHOST_KILL_AT="EVENT:N" ends sdhost with SIGKILL on itself when EVENT
// happens for the Nth time in the process (N counts from 1). Events:
//   rename         a file renamed through the host's file services
//   store          a model store committed, before anyone has seen it
//   drawing-store  a drawing store committed, before anyone has seen it
//   command        a queued command line taken up to run
#pragma once

#include <string_view>

namespace sim {

void fault_point(std::string_view event);

}  // namespace sim
