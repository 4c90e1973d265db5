// The batch check-in: every model queued in a staging directory checked into
// Model Manager and then its drawings, with one stated policy for its model
// name conflicts. It drives VANTREL_MM_ASSISTED_CHECKIN with the command
// lines a user would give and waits for each Model Manager round trip, so
// the dialog's own guarantees hold (the staged file saved before a store, a
// completion tagging only what Model Manager holds). What it does goes to
// batch-checkin.log in the staging directory, one line per step. By default
// it stops at the first model it cannot check in; asked to skip, it logs why,
// goes on with the rest and ends with a summary. A later run takes up the
// models and drawings not tagged :checked-in, the skipped ones among them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vtm::checkin {

enum class conflict_policy {
  preset,        // the resolution the dialog presets for the conflict's kind
  rename_local,  // the reference model renamed: nothing replaced
  none,          // a model with a name conflict stops the run
};

struct batch_options {
  std::filesystem::path staging_directory;
  conflict_policy policy = conflict_policy::preset;
  bool ignore_errors = false;  // check in models with check errors regardless
  bool skip_failures = false;  // go on after a model it cannot check in
};

struct skipped_model {
  std::string staged;
  std::string reason;
};

struct left_drawing {
  std::string staged;
  std::string reason;
};

struct batch_result {
  int models_checked_in = 0;  // by this run
  int drawings_checked_in = 0;
  int models_left = 0;                    // queued and not checked in after the run
  std::optional<std::string> stopped_at;  // the staged file of the model that stopped it
  std::string reason;
  std::vector<skipped_model> skipped;  // with skip_failures
  std::vector<left_drawing> drawings_left;
  std::filesystem::path log;
};

inline constexpr const char* batch_log_name = "batch-checkin.log";

// Runs the batch from the console (not from a dialog's callback). Signals
// when the directory is not a staging directory, another session holds it
// or the log cannot be written; a model that cannot be checked in ends the
// run with stopped_at, or, with skip_failures, is listed in skipped.
batch_result batch_check_in(const batch_options& options);

// True while a batch drives the dialog: the dialog then neither takes nor
// keeps the values a user left in it.
bool batch_check_in_running();

// (batch-check-in directory &key policy ignore-errors on-failure)
void define_batch_check_in();

}  // namespace vtm::checkin
