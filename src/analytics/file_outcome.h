// What became of a CAD file of the staging run, as its record in toc.lsp
// tells it: the categories that the report, the analytics and the status
// outputs count and list.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "records/file_records.h"

namespace vtm::analytics {

enum class cad_file_outcome {
  staged,       // loaded and its models and drawing staged
  load_failed,  // the host's loader signalled an error, or the file cannot be read
  no_loader,    // no loader takes files of its type
  save_failed,  // loaded, but a model or the drawing could not be saved; a rerun redoes it
  crashed,      // the host died while loading it; a rerun does not try it again
  unfinished,   // loaded, but its results were not all written (the host died,
                // or the run was interrupted); a rerun redoes it
};

// Every outcome, in the order the status outputs list them.
inline constexpr std::array all_cad_file_outcomes{
    cad_file_outcome::staged,  cad_file_outcome::load_failed, cad_file_outcome::save_failed,
    cad_file_outcome::crashed, cad_file_outcome::unfinished,  cad_file_outcome::no_loader};

cad_file_outcome classify_cad_file(const records::cad_fileinfo& info);
// "staged", "load-failed", "no-loader", "save-failed", "crashed", "unfinished".
std::string_view cad_file_outcome_name(cad_file_outcome outcome);
// The host's message of a failed load or save; empty for the other outcomes.
std::string cad_file_outcome_message(const records::cad_fileinfo& info);

// Whether a staging run loads the file again: it is unfinished or its save failed.
bool cad_file_redone(cad_file_outcome outcome);
// Whether the file's work is left undone: it failed to load or save, or it
// crashed the host.
bool cad_file_left_undone(cad_file_outcome outcome);

// The error status of a file whose models or drawing could not be saved:
// (:SAVE-FAILED "message"), the load having succeeded.
records::load_status make_save_failure_status(const std::string& message);

}  // namespace vtm::analytics
