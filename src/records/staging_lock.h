// The lock of a staging directory: one staging run or check-in session at a
// time works on it.
#pragma once

#include <filesystem>
#include <string_view>

#include "core/file_lock.h"

namespace vtm::records {

inline constexpr std::string_view staging_lock_file = "staging.lock";

// Takes the lock of the existing staging directory dir. Signals the host's
// error "The staging directory DIR is in use by process PID." when another
// run or session holds it, and one naming the cause when it cannot be taken.
core::file_lock lock_staging_directory(const std::filesystem::path& dir);

}  // namespace vtm::records
