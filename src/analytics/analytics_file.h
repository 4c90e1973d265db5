// analytics.lsp of a staging directory: status records as the host's print
// writes them (a newline, the readable form, a space), in UTF-8. Written
// whole at the end of a staging run, then only appended to.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <vector>

#include "host/lisp/object.h"

namespace vtm::analytics {

// analytics.lsp in the staging directory dir.
std::filesystem::path analytics_file_path(const std::filesystem::path& dir);

// Replaces the file: written beside it and renamed over it, so a crash
// leaves the old file or the new one, never a part.
// write_statuses prints the records to the stream it is given.
void write_analytics_file(const std::filesystem::path& dir,
                          const std::function<void(std::ostream&)>& write_statuses);

// Appends one status and flushes. The file must exist; it is never created
// here.
void append_analytics_file(const std::filesystem::path& dir, const host::lisp::ref& status);

// Calls visit with each record in file order; false when the file does not
// exist. A record cut off at the end by a crash is dropped with a warning on
// the host output and cut from the file, so the next append starts clean.
bool read_analytics_file(const std::filesystem::path& dir,
                         const std::function<void(const host::lisp::ref&)>& visit);

}  // namespace vtm::analytics
