// What a run leaves behind for the people and programs that follow a
// migration: status.json and overview.html rewritten, a summary on the
// console, and the console function vtm:staging-status.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "analytics/status_json.h"

namespace vtm::analytics {

// Writes status.json and overview.html of dir from the status; the status
// document written, without its lists. Models that an earlier batch passed
// over stay listed while they are not checked in.
status_document publish_staging_status(const std::filesystem::path& dir, staging_status& status);

// read_staging_status, then publish_staging_status; the document written,
// without its lists.
status_document refresh_staging_status(const std::filesystem::path& dir, const std::string& written_by,
                                       const std::vector<skipped_model>& skipped = {});
// The same for the end of a run whose work is done: a status that cannot be
// written is said on the host output, and nothing is returned.
std::optional<status_document> try_refresh_staging_status(const std::filesystem::path& dir,
                                                          const std::string& written_by,
                                                          const std::vector<skipped_model>& skipped = {});

// While one lives (a batch check-in runs), the check-ins of single models
// leave status.json to the end of the batch, which writes it once.
class status_refresh_deferral {
 public:
  status_refresh_deferral();
  ~status_refresh_deferral();
  status_refresh_deferral(const status_refresh_deferral&) = delete;
  status_refresh_deferral& operator=(const status_refresh_deferral&) = delete;
  static bool active();
};

// After a model or drawing was checked in: refresh_staging_status unless
// deferred. A status that cannot be written is said on the host output and
// does not undo the check-in.
void refresh_after_check_in(const std::filesystem::path& dir);

// The counts of the whole staging directory from its status document, in a
// dozen lines.
std::string status_summary(const status_document& doc);

// The summary at the end of a run: the headline ("Staging run finished."),
// what this run did (label and count), the counts of the whole directory,
// where the outputs are and what to run next, from the status document.
void print_run_summary(std::ostream& out, const std::string& headline,
                       const std::vector<std::pair<std::string, std::int64_t>>& this_run,
                       const status_document& doc, const std::filesystem::path& dir, const std::string& next);

// (vtm:staging-status directory): prints the summary of status.json; reads
// nothing else and takes no lock, so it can watch a run in progress.
void define_staging_status();

}  // namespace vtm::analytics
