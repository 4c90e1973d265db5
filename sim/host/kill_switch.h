// A hook for tests of crash safety: the host sends itself a signal the
// moment its standard output shows a given text for the n-th time, so a test
// can end the host at an exact step of a run, however loaded the machine.
//
//   SDSIM_KILL_ON         the text to watch for (unset: no hook)
//   SDSIM_KILL_ON_COUNT   which occurrence (default 1)
//   SDSIM_KILL_SIGNAL     the signal number (default 9, SIGKILL, as a crash)
#pragma once

namespace sim {

// Installs the hook on std::cout when SDSIM_KILL_ON is set.
void install_kill_switch();

}  // namespace sim
