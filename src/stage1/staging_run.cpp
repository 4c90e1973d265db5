#include "stage1/staging_run.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "analytics/migration_analytics.h"
#include "analytics/staging_outputs.h"
#include "analytics/staging_report.h"
#include "checkin/conflict_resolver.h"
#include "core/run_progress.h"
#include "host/clusters.h"
#include "host/command_errors.h"
#include "host/drawings.h"
#include "host/lisp/errors.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/model_tree.h"
#include "host/ui.h"
#include "host/undo.h"
#include "records/ami_drawing_records.h"
#include "records/cad_file_records.h"
#include "records/change_records.h"
#include "records/host_cluster_session.h"
#include "records/staging_layout.h"
#include "stage1/collect_files.h"
#include "stage1/component_check.h"
#include "stage1/drawing_staging.h"
#include "stage1/file_loading.h"
#include "stage1/staged_saving.h"

namespace vtm::stage1 {

namespace fs = std::filesystem;
namespace hl = host::lisp;
using records::cad_file_state;

namespace {

// The record files and the resolver of one run, closed however it ends.
struct run_records {
  records::cad_file_records files;
  records::ami_drawing_records drawings;
  records::change_records changelog;
  checkin::conflict_resolver resolver;

  explicit run_records(const fs::path& staging)
      : files(records::make_cad_file_records(staging)),
        drawings(records::make_ami_drawing_records(staging)),
        changelog(records::make_change_records(staging)),
        resolver(checkin::make_conflict_resolver(staging)) {}
  ~run_records() { close(); }
  void close() {
    if (closed) return;
    closed = true;
    files.close_persistent_records();
    drawings.close_persistent_records();
    changelog.close_persistent_records();
    checkin::finalize_conflict_resolver(resolver);
  }
  bool closed = false;
  run_records(const run_records&) = delete;
  run_records& operator=(const run_records&) = delete;
};

void empty_session() {
  host::elan::delete_3d(hl::ref(&hl::keyword("ALL_AT_TOP")));
  host::docu::am_drawing_delete();
}

// Without trailing slash, so that paths below it compare component-wise.
fs::path absolute_directory(const fs::path& dir) {
  fs::path p = fs::absolute(dir).lexically_normal();
  return p.has_filename() || !p.has_relative_path() ? p : p.parent_path();
}

bool below(const fs::path& file, const fs::path& dir) {
  return std::mismatch(dir.begin(), dir.end(), file.begin(), file.end()).first == dir.end();
}

fs::path created(const fs::path& dir) {
  fs::create_directories(dir);
  return dir;
}

class staging_run {
 public:
  staging_run(const fs::path& input, const fs::path& staging, const staging_options& options)
      : input_(absolute_directory(input)),
        staging_(created(absolute_directory(staging))),
        options_(options),
        records_(staging_),
        models_dir_(staging_ / records::model_staging_dir) {
    for (const auto& [path, info] : records_.files.filetable())
      if (info.state == cad_file_state::complete && !info.drawing.empty())
        claimed_.insert(info.drawing.string());
  }

  void run() {
    empty_session();
    checkpoint_ = host::oli::sd_set_model_checkpoint();
    // A staging directory inside the input directory is no input: its
    // record files and staged models would be staged again.
    std::vector<fs::path> files;
    for (const file_group& group : collect_files(input_))
      for (const fs::path& file : group)
        if (!below(file, staging_)) files.push_back(file);
    // Files an earlier run finished (or crashed on) are skipped: they show
    // as done before and leave the pace to the files of this run.
    const auto done_before = [&](const fs::path& file) {
      const auto* known = records_.files.filetable().find(file.string());
      return known && (known->state == cad_file_state::complete || known->state == cad_file_state::loading);
    };
    std::int64_t before = 0;
    for (const fs::path& file : files) before += done_before(file) ? 1 : 0;
    core::run_progress progress("Staging", std::int64_t(files.size()), before);
    for (const fs::path& file : files) {
      if (done_before(file)) continue;
      processed_.push_back(file.string());
      progress.working_on(records::make_relative_path(input_, file).string());
      try {
        stage_file(file);
      } catch (const std::exception& e) {
        // The run ends here; the file keeps the state last recorded for it.
        hl::simple_error("The staging run stopped at " + file.string() + ": " + e.what());
      }
      progress.tick();
    }
  }

  // Closes the record files, then writes analytics.lsp, report.htm,
  // status.json and overview.html from the records and prints the summary;
  // the report's namestring.
  std::string report() {
    records_.close();
    const auto analytics = analytics::make_migration_analytics(
        staging_, records_.drawings, records_.resolver.components(), records_.changelog);
    std::string report =
        analytics::make_staging_report(input_, staging_, records_.files, records_.drawings,
                                       records_.resolver.components(), records_.changelog, analytics);
    analytics::staging_status status = analytics::collect_staging_status(
        staging_, records_.files.filetable(), &analytics, records_.changelog.changes());
    status.written_by = "stage-1";
    analytics::publish_staging_status(staging_, status);
    analytics::print_run_summary(hl::standard_output(), "Staging run finished.", this_run(), status, staging_,
                                 "(vtm:batch-check-in " +
                                     hl::prin1_to_string(hl::make_string(staging_.string())) +
                                     ") or the dialog VANTREL_MM_ASSISTED_CHECKIN");
    return report;
  }

  // After an error ended the run: status.json and overview.html show where
  // it stopped (the analytics are those of the last finished run). A status
  // that cannot be written does not hide the error that ended the run.
  void publish_stopped() noexcept {
    try {
      records_.close();
      const std::optional<analytics::migration_analytics> before =
          analytics::load_migration_analytics(staging_);
      analytics::staging_status status = analytics::collect_staging_status(
          staging_, records_.files.filetable(), before ? &*before : nullptr, records_.changelog.changes());
      status.written_by = "stage-1 (stopped)";
      analytics::publish_staging_status(staging_, status);
      analytics::print_run_summary(hl::standard_output(), "Staging run stopped.", this_run(), status,
                                   staging_, "the same staging run again: it retries the file it stopped at");
    } catch (...) {
    }
  }

 private:
  // The outcomes of the files this run worked on.
  std::vector<std::pair<std::string, std::int64_t>> this_run() const {
    std::vector<std::pair<std::string, std::int64_t>> counts{
        {"files processed", std::int64_t(processed_.size())}};
    for (analytics::cad_file_outcome outcome : analytics::all_cad_file_outcomes) {
      std::int64_t n = 0;
      for (const std::string& file : processed_)
        if (const auto* info = records_.files.filetable().find(file))
          n += analytics::classify_cad_file(*info) == outcome ? 1 : 0;
      if (n > 0) counts.emplace_back(std::string(analytics::cad_file_outcome_name(outcome)), n);
    }
    return counts;
  }

  void stage_file(const fs::path& file) {
    const auto* known = records_.files.filetable().find(file.string());
    records::cad_fileinfo record = known ? *known : records::make_cad_fileinfo(file);
    switch (record.state) {
      case cad_file_state::new_:
        records_.files.update_cad_file_records(record);
        break;
      case cad_file_state::processing:
        // Loaded before but not finished: again, as from the load on.
        record.state = cad_file_state::loading;
        break;
      case cad_file_state::loading:  // the host died loading it once
      case cad_file_state::complete:
        return;
    }
    load_cadfile(record);
    records_.files.update_cad_file_records(record);
    const bool check = options_.check;
    checkin::invoke_conflict_resolver(
        records_.resolver, records::make_relative_path(input_, file),
        [check](const records::extended_location& at) {
          return check_component(records::to_sel_item(at), check);
        },
        records_.changelog, session_);
    host::oli::sd_set_model_checkpoint();
    fs::create_directories(models_dir_);
    for (const hl::ref& model :
         hl::list_to_vector(host::oli::sd_inq_obj_children(host::elan_ui::get_root_sel_item())))
      save_model(model, record);
    if (const hl::ref dno = host::oli::sd_am_inq_drawing_no(); hl::truthy(dno))
      record.drawing = records::make_relative_path(
          staging_, stage_drawing(hl::as_string(dno), record, input_, staging_, records_.drawings, claimed_));
    records_.files.update_cad_file_records(record);
    if (!record.drawing.empty()) claimed_.insert(record.drawing.string());
    host::oli::sd_return_to_model_checkpoint(checkpoint_);
    host::docu::am_drawing_delete();
  }

  void save_model(const hl::ref& model, records::cad_fileinfo& record) {
    const hl::ref instance = host::elan::sel_item_item(model);
    const hl::ref name = host::elan::inquire_name(instance);
    const hl::ref filename = host::frame2::inquire_cluster_filename(instance);
    record.models_3d.insert(record.models_3d.begin(),
                            {hl::stringp(name) ? hl::as_string(name) : std::string(),
                             fs::path(records::model_staging_dir) /
                                 (hl::stringp(filename) ? hl::as_string(filename) : std::string())});
    // The run goes on; the report shows the model missing from models/.
    const save_result saved = save_instance(model, models_dir_);
    if (!hl::eql(saved.status, hl::ref(&hl::keyword("OK"))))
      hl::standard_output() << hl::format("The model ~A of ~A was not saved: ~A~%",
                                          host::oli::sd_inq_obj_pathname(model),
                                          hl::make_string(record.path.string()),
                                          hl::truthy(saved.error)
                                              ? host::frame2::read_error_object(
                                                    saved.error, hl::ref(&hl::keyword("ERROR-MESG")))
                                              : hl::make_string("the models directory cannot be entered"))
                            << std::flush;
  }

  const fs::path input_, staging_;
  const staging_options options_;
  run_records records_;
  const fs::path models_dir_;
  records::host_cluster_session session_;
  hl::ref checkpoint_;
  std::unordered_set<std::string> claimed_;  // the staged drawings of complete files
  std::vector<std::string> processed_;       // the files this run took up
};

}  // namespace

hl::ref run_staging(const fs::path& input_directory, const fs::path& staging_directory,
                    const staging_options& options) {
  std::string report;
  {
    staging_run run(input_directory, staging_directory, options);
    try {
      run.run();
    } catch (...) {
      run.publish_stopped();
      throw;
    }
    report = run.report();
  }
  return options.display_report ? host::oli::sd_display_url(report) : hl::nil();
}

}  // namespace vtm::stage1
