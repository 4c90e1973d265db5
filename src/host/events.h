// Host events and the command queue.
#pragma once

#include <string>

namespace host::frame2 {
// Queues a command line; it runs after the command running now.
void put_buffer(const std::string& command_line);
}  // namespace host::frame2
