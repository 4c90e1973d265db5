// Whether the outputs of a staging directory (analytics.lsp, report.htm,
// status.json, overview.html) still show its records. A staging run that
// stages nothing new leaves them as they are when they do: writing them
// again from thousands of records costs more than the rest of such a run.
//
// outputs.stamp holds, after a staging run wrote the outputs, the module's
// version, the input directory and the size and modification time of each
// record file and output. Any change since (a record appended or repaired,
// an output rewritten by a check-in, a file deleted, another input
// directory, another version) makes the stamp disagree.
#pragma once

#include <filesystem>

namespace vtm::analytics {

inline constexpr std::string_view outputs_stamp_file = "outputs.stamp";

bool staging_outputs_current(const std::filesystem::path& staging, const std::filesystem::path& input);
// After the outputs were written. A stamp that cannot be written is removed,
// so the next run writes the outputs again.
void stamp_staging_outputs(const std::filesystem::path& staging, const std::filesystem::path& input);

}  // namespace vtm::analytics
