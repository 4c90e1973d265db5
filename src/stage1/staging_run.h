// The staging run of the Import Assembler: every CAD file of the input
// directory is loaded alone, its components are resolved against what was
// staged before, its models are saved into models/ and its drawing into
// drawings.ami or drawings.mi, and every step is recorded before the next so
// that a rerun after a host crash carries on where the run stopped.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "host/lisp/object.h"

namespace vtm::stage1 {

struct staging_options {
  bool check = true;           // run the part check on every part
  bool display_report = true;  // show report.htm when done
};

// Why staging_directory cannot hold the staging of input_directory: it is
// the input directory or contains it (the run would stage nothing and write
// its records among the input); nothing when it can. Both may be relative.
std::optional<std::string> staging_directory_overlap(const std::filesystem::path& input_directory,
                                                     const std::filesystem::path& staging_directory);

// Runs over input_directory into staging_directory (created if missing) and
// answers what showing the report answered, or NIL when it is not shown.
// An error outside the host commands ends the run after the record files
// were closed; then no analytics or report are written.
host::lisp::ref run_staging(const std::filesystem::path& input_directory,
                            const std::filesystem::path& staging_directory, const staging_options& options);

}  // namespace vtm::stage1
