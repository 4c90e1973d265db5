#include "host/interrupt_handlers.h"

#include <csignal>

#include "host/console.h"

namespace sim {

namespace {

volatile std::sig_atomic_t received = 0;

extern "C" void note_interrupt(int sig) {
  if (!console_busy()) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    return;
  }
  if (received == 0) received = sig;
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = note_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // the step that runs goes on undisturbed
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

}  // namespace sim

namespace host::system {

int interrupt_signal() { return sim::received; }

}  // namespace host::system
