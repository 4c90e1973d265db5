// What the host's exit status tells of the module's runs in a session.
#pragma once

namespace host::system {

// A run of the module completed but left work undone: files that failed to
// load or save, models or drawings skipped or not stored. Unless a command
// line failed outright (status 1), the host then exits with
// incomplete_run_exit_status instead of 0.
void note_incomplete_run();
bool incomplete_run_noted();

inline constexpr int incomplete_run_exit_status = 3;

}  // namespace host::system
