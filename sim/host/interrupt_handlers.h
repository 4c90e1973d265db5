// The host's handling of SIGINT, SIGTERM and SIGHUP.
#pragma once

#include "host/interrupts.h"

namespace sim {

// While a command line runs, these signals only note themselves (see
// host::system::interrupt_signal); between command lines they end the host
// at once, as they would without handlers.
void install_interrupt_handlers();

}  // namespace sim
