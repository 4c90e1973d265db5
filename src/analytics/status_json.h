// status.json of a staging directory: the staging status as JSON, for
// scripts and for vtm:staging-status. Its schema is docs/status.schema.json.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>

#include "analytics/staging_status.h"

namespace vtm::analytics {

using status_document = nlohmann::ordered_json;

// status.json of the status without the lists of files, models, drawings
// and changes: what read_status_counts reads back from the file written.
status_document status_summary_json(const staging_status& status);

// Replaces status.json of dir: written beside it and renamed over it, so a
// reader sees the old file or the new one, never a part; the lists written
// entry by entry as the status makes them. Names that are not valid UTF-8
// are written with replacement characters. The document written, without
// its lists (status_summary_json).
status_document write_status_json(const std::filesystem::path& dir, const staging_status& status);

// status.json of dir without the lists of files, models, drawings and
// changes (what summaries show, read without building the lists of a large
// migration); nothing when there is none. Signals the host error naming the
// file when it cannot be read as JSON.
std::optional<status_document> read_status_counts(const std::filesystem::path& dir);

}  // namespace vtm::analytics
