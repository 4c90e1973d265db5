// The Drawing Associator: for every drawing of a master extraction list, the
// models of the list that own its views, written line by line to the drawing
// association list, resumable after the host dies on a drawing.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "drawings/association_list.h"

namespace vtm::drawings {

// The host was asked to stop (Ctrl-C, SIGTERM, SIGHUP): the run ends at its
// next step boundary, and a rerun carries on from there.
struct association_interrupted : std::runtime_error {
  explicit association_interrupted(int sig)
      : std::runtime_error("signal " + std::to_string(sig)), signal(sig) {}
  int signal;
};

// The instance sysids of a model file, from the dump program *pbpub*, in the
// reverse of the dump's order; none when the file is missing or undumpable.
std::vector<std::string> get_model_sysids(const std::filesystem::path& modelpath);

// The same for each of the files, in their order; the dumps run side by
// side, one per core, and go to memory rather than to files. Throws
// association_interrupted when the host was asked to stop by the time the
// dumps ended.
std::vector<std::vector<std::string>> get_model_sysids(const std::vector<std::filesystem::path>& modelpaths);

// Loads the drawing and answers its owners' sysids and the load status;
// nothing when the file does not exist.
std::optional<drawing_owners> get_drawing_owners(const std::filesystem::path& path);

struct association_options {
  bool by_name = true;
  bool by_partnumber = true;
};

// The run of the dialog's OK: every drawing of input_csv not yet listed in
// output_csv. Returns the progress bar's result.
host::lisp::ref run_drawing_association(const std::filesystem::path& input_csv,
                                        const std::filesystem::path& output_csv,
                                        const association_options& options);

// Lisp: *PBPUB*, *ANNOTATION-RESTART-THRESHOLD*, GET-MODEL-SYSIDS,
// GET-DRAWING-OWNERS, .SHOW-DRAWING-ASSOCIATOR-HELP. and the dialog
// VANTREL_DRAWING_ASSOCIATOR.
void define_drawing_associator();

}  // namespace vtm::drawings
