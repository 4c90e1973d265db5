// Renaming a file through the host's file services.
#pragma once

#include <filesystem>

namespace host::system {

// Renames from to to, replacing to in one step (both in one file system).
// Throws std::filesystem::filesystem_error when it cannot.
void rename_file(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace host::system
