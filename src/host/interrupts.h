// Interrupts of the host (Ctrl-C, SIGTERM, SIGHUP): the host does not die in
// the middle of a step, it finishes the command step that runs, and a long
// run of a module ends at its next step boundary, leaving its work to be
// resumed. The host then exits with 128 + the signal.
#pragma once

namespace host::system {

// The signal that asked the host to stop, or 0.
int interrupt_signal();

}  // namespace host::system
