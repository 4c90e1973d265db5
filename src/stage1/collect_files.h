// Finds the CAD files of an input directory tree.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vtm::stage1 {

// The files of one directory.
using file_group = std::vector<std::filesystem::path>;

// Every file below dir, one group per directory that holds any, skipping
// the catalogue files "hp_catfile" and "hp_catlock" and every file whose
// type has a "c" in it (contents files such as .sdpc are read with their
// instance files). Directories are listed in name order and searched depth
// first, the last-listed sub-directory next; groups come in the reverse
// order of discovery and files in reverse listing order. A directory that
// cannot be listed is reported on the host's output and passed over; one
// reached again through a link is searched once.
std::vector<file_group> collect_files(const std::filesystem::path& dir);

// The file's type as the host splits names ("a.b.SDP" -> "sdp", ".lsp" has
// none), in lower case; nothing without type.
std::optional<std::string> lower_case_type(const std::filesystem::path& file);

}  // namespace vtm::stage1
