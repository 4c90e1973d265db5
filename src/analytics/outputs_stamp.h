// Whether the outputs of a staging directory (analytics.lsp, report.htm,
// status.json, overview.html) still show its records. A staging run that
// stages nothing new leaves them as they are when they do: writing them
// again from thousands of records costs more than the rest of such a run.
//
// outputs.stamp holds, after a staging run wrote the outputs, the module's
// version, the input directory and the size and modification time of each
// record file and output, then status.json's summary (its document without
// the lists), so that such a run prints its summary without reading the
// lists of a large migration. Any change since (a record appended or
// repaired, an output rewritten by a check-in, a file deleted, another input
// directory, another version) makes the stamp disagree.
#pragma once

#include <filesystem>
#include <optional>

#include "analytics/status_json.h"

namespace vtm::analytics {

inline constexpr std::string_view outputs_stamp_file = "outputs.stamp";

// The summary noted with the outputs when they still show the records;
// nothing otherwise.
std::optional<status_document> current_outputs_summary(const std::filesystem::path& staging,
                                                       const std::filesystem::path& input);
// After the outputs were written, with status.json's summary. A stamp that
// cannot be written is removed, so the next run writes the outputs again.
void stamp_staging_outputs(const std::filesystem::path& staging, const std::filesystem::path& input,
                           const status_document& summary);

}  // namespace vtm::analytics
