// The assisted check-in's state across dialog runs and the operations on the
// session it is built from: the context of the staging directory worked
// on, emptying the session, loading a staged model and saving it back.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "checkin/check_in_context.h"
#include "core/module_env.h"
#include "host/dialogs.h"
#include "records/host_cluster_session.h"

namespace vtm::checkin {

// .mm-check-in-context.: the check-in state of the staging directory worked
// on; it outlives a dialog run (a comparison or the store dialog end it).
std::shared_ptr<check_in_context>& mm_check_in_context();
// .context.: the context the running dialog has installed into its tables;
// null at the start of each run and when the context is replaced.
std::shared_ptr<check_in_context>& installed_context();
records::host_cluster_session& checkin_cluster_session();

bool has_tag(const analytics::record_status& status, std::string_view tag);
host::lisp::ref integer(long n);
long integer_value(const host::lisp::ref& value);  // 0 for NIL or a non-integer
using core::text_of;
using core::toggle_on;

// "This is not a Staging Directory" unless the directory passes the host's
// check and holds analytics.lsp.
std::optional<std::string> staging_directory_check(const std::string& directory);

// Makes sure a context of the dialog's staging directory exists, rebuilt when
// the directory changed or its model has left the session, and installs it
// into the dialog's tables once per run. True when it was installed already.
bool initialize_check_in_context(host::dialogs::dialog_context& dialog);

// Empties the session: tracking features, drawings and 3D models; the
// context keeps no current model.
void clear_session(host::dialogs::dialog_context& dialog);

// Loads the staged file (relative to the staging directory); its queue
// entry, or null when the load failed.
model_status_ptr load_model(const std::string& staged);

// Saves the top-level instance file of the model into directory,
// overwriting: :ok, or (:error error-object).
host::lisp::ref save_instance(const host::lisp::ref& instance, const std::filesystem::path& directory);

// Takes the lock of the staging directory for this host session (kept until
// another directory is taken); signals when another process holds it.
void hold_staging_directory(const std::filesystem::path& dir);

// Finishes or discards a save into directory that a host ending left in its
// scratch directory: a whole set of files is moved over the staged ones,
// anything less removed. Answers "completed", "discarded" or "" (nothing
// was left). Only the holder of the staging directory's lock may call it.
std::string recover_interrupted_save(const std::filesystem::path& directory);

// The models directory of the context's staging directory.
std::filesystem::path models_directory(const check_in_context& context);

}  // namespace vtm::checkin
