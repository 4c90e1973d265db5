// The host's queue of command lines (frame2::put-buffer): queued lines run
// after the command line running now, oldest first.
#pragma once

#include <optional>
#include <string>

namespace sim {

// Removes and returns the oldest queued line; nothing when the queue is empty.
std::optional<std::string> take_queued_command();

}  // namespace sim
