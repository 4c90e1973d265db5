// The state of one assisted check-in over one staging directory: the queues
// of models and drawings still to check in, the Model Manager command in
// progress, the model in session with its name conflicts, and its drawings.
// Nothing of it is written to disk; what survives is the analytics.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "analytics/status_records.h"
#include "checkin/linked_table.h"
#include "checkin/model_name_info.h"

namespace vtm::checkin {

enum class mm_command { none, compare, status_update, reload, check_in, dwg_check_in };

using model_status_ptr = std::shared_ptr<analytics::model_status>;
using drawing_status_ptr = std::shared_ptr<analytics::ami_drawing_status>;
using name_info_ptr = std::shared_ptr<model_name_info>;

struct check_in_context {
  std::filesystem::path stagingdir;
  // Keyed by the namestring of the staged path.
  linked_table<std::string, model_status_ptr> model_queue;
  analytics::model_analytics model_analytics;
  linked_table<std::string, drawing_status_ptr> drawing_queue;
  analytics::ami_drawing_analytics drawing_analytics;
  mm_command mm_cmd = mm_command::none;
  name_info_ptr current_name_conflict;
  // Model name -> its tracked record, for the names that conflict.
  linked_table<std::string, name_info_ptr> current_conflicts;
  drawing_status_ptr current_drawing;
  // The queued drawings of the current model; null for one not queued.
  std::vector<drawing_status_ptr> current_drawings;

  const model_status_ptr& current_model() const { return current_model_; }

 private:
  friend void set_check_in_context_current_model(check_in_context&, model_status_ptr,
                                                 records::cluster_session&);
  friend check_in_context make_check_in_context(const std::filesystem::path&);
  friend void mark_model_checked_in(check_in_context&, analytics::model_status&);
  friend int check_in_context_remaining_models(const check_in_context&);
  model_status_ptr current_model_;
  // Models of model_queue tagged :checked-in, counted as they are tagged: a
  // dialog start shows what remains without walking the whole queue.
  int models_checked_in_ = 0;
};

// Both queues from the staging directory's analytics: models with warnings,
// errors or ready (a later table wins; top-level workplanes left out), and
// drawings with warnings or ready. Signals when the directory has no
// analytics file.
check_in_context make_check_in_context(const std::filesystem::path& stagingdir);

// Makes model (null: none) the model in session and scans it: unnamed
// contents get unique names, names are sanitized, the database component
// already in session is recognised, every other name is queried, and the
// names that conflict are tracked in current_conflicts. Another model than
// the current one empties the name query cache first. Signals when model is
// not in session.
void set_check_in_context_current_model(check_in_context& context, model_status_ptr model,
                                        records::cluster_session& session);

// Drops from current_conflicts what in-session changes resolved: clusters
// whose tracking feature is gone, then the names left without doubles.
void cleanup_conflict_queue(check_in_context& context, records::cluster_session& session);

// Tags the queued model :checked-in.
void mark_model_checked_in(check_in_context& context, analytics::model_status& model);

// Models of the queue not tagged :checked-in.
int check_in_context_remaining_models(const check_in_context& context);
int check_in_context_remaining_name_conflicts(const check_in_context& context);

}  // namespace vtm::checkin
