#include "host/run_outcome.h"

#include <atomic>

namespace host::system {

namespace {
std::atomic<bool> incomplete{false};
}

void note_incomplete_run() { incomplete = true; }
bool incomplete_run_noted() { return incomplete; }

}  // namespace host::system
