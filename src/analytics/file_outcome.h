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
  load_failed,  // the host's loader signalled an error
  no_loader,    // no loader takes files of its type
  crashed,      // the host died while loading it; a rerun does not try it again
  unfinished,   // loaded, but its results were not all written; a rerun redoes it
};

// Every outcome, in the order the status outputs list them.
inline constexpr std::array all_cad_file_outcomes{cad_file_outcome::staged, cad_file_outcome::load_failed,
                                                  cad_file_outcome::crashed, cad_file_outcome::unfinished,
                                                  cad_file_outcome::no_loader};

cad_file_outcome classify_cad_file(const records::cad_fileinfo& info);
// "staged", "load-failed", "no-loader", "crashed", "unfinished".
std::string_view cad_file_outcome_name(cad_file_outcome outcome);
// The host's message of a failed load; empty for the other outcomes.
std::string cad_file_outcome_message(const records::cad_fileinfo& info);

}  // namespace vtm::analytics
