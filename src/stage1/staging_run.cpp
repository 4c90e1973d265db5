#include "stage1/staging_run.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "analytics/file_outcome.h"
#include "analytics/migration_analytics.h"
#include "analytics/outputs_stamp.h"
#include "analytics/staging_outputs.h"
#include "analytics/staging_report.h"
#include "checkin/conflict_resolver.h"
#include "core/run_progress.h"
#include "host/clusters.h"
#include "host/command_errors.h"
#include "host/drawings.h"
#include "host/interrupts.h"
#include "host/lisp/errors.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/model_tree.h"
#include "host/run_outcome.h"
#include "host/ui.h"
#include "host/undo.h"
#include "records/ami_drawing_records.h"
#include "records/cad_file_records.h"
#include "records/change_records.h"
#include "records/host_cluster_session.h"
#include "records/staging_layout.h"
#include "records/staging_lock.h"
#include "records/utf8_names.h"
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

// The staging directory, created when missing.
fs::path checked_staging_directory(const fs::path& input, const fs::path& staging) {
  if (const std::optional<std::string> overlap = staging_directory_overlap(input, staging))
    hl::simple_error(*overlap);
  std::error_code ec;
  fs::create_directories(staging, ec);
  if (!fs::is_directory(staging))
    hl::simple_error("The staging directory " + staging.string() +
                     " cannot be created: " + (ec ? ec.message() : std::string("it is no directory")) + ".");
  return staging;
}

// The run was interrupted (Ctrl-C, SIGTERM, SIGHUP): it ends at a step
// boundary, as an error outside the host commands ends it.
struct run_interrupted : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void stop_when_interrupted(const fs::path& file) {
  if (const int sig = host::system::interrupt_signal())
    throw run_interrupted("The staging run was interrupted (signal " + std::to_string(sig) + ") at " +
                          file.string() + "; a rerun carries on from there.");
}

class staging_run {
 public:
  staging_run(const fs::path& input, const fs::path& staging, const staging_options& options)
      : input_(absolute_directory(input)),
        staging_(checked_staging_directory(input_, absolute_directory(staging))),
        options_(options),
        lock_(records::lock_staging_directory(staging_)),
        records_(staging_),
        models_dir_(staging_ / records::model_staging_dir) {
    // A file staged again (its save failed) replaces its own drawing.
    for (const auto& [path, info] : records_.files.filetable())
      if (info.state == cad_file_state::complete && !info.drawing.empty() &&
          !analytics::cad_file_redone(analytics::classify_cad_file(info)))
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
    // A file's record names it in UTF-8. Kept as strings: a path would add
    // a list of its components to each of many thousand names.
    std::vector<std::string> recorded;
    recorded.reserve(files.size());
    for (const fs::path& file : files) recorded.push_back(records::utf8_text(file.native()));
    set_aside_name_clashes(files, recorded);
    const auto done_before = [&](const std::string& name) {
      const auto* known = records_.files.filetable().find(name);
      return known && (known->state == cad_file_state::loading ||
                       (known->state == cad_file_state::complete &&
                        !analytics::cad_file_redone(analytics::classify_cad_file(*known))));
    };
    std::int64_t before = 0;
    for (const std::string& name : recorded) before += done_before(name) ? 1 : 0;
    core::run_progress progress("Staging", std::int64_t(files.size()), before);
    for (std::size_t i = 0; i < files.size(); ++i) {
      const fs::path& file = files[i];
      if (done_before(recorded[i])) continue;
      processed_.push_back(file.string());
      const fs::path name = recorded[i];
      const fs::path relative = records::make_relative_path(input_, name);
      progress.working_on(relative.string());
      try {
        stop_when_interrupted(file);
        stage_file(file, name, relative);
      } catch (const run_interrupted& e) {
        hl::standard_output() << e.what() << '\n' << std::flush;
        interrupted_ = true;
        return;
      } catch (const std::exception& e) {
        // The run ends here; the file keeps the state last recorded for it.
        hl::simple_error("The staging run stopped at " + file.string() + ": " + e.what());
      }
      progress.tick();
    }
  }

  bool interrupted() const { return interrupted_; }

  // Closes the record files, then writes analytics.lsp, report.htm,
  // status.json and overview.html from the records (unless this run staged
  // nothing and they show the records already) and prints the summary;
  // the report's namestring. A run that left files undone (they
  // failed to load or save, or crashed the host) tells the host so.
  std::string report() {
    records_.close();
    for (const auto& [path, info] : records_.files.filetable())
      if (analytics::cad_file_left_undone(analytics::classify_cad_file(info)))
        host::system::note_incomplete_run();
    const std::string next = "(vtm:batch-check-in " +
                             hl::prin1_to_string(hl::make_string(staging_.string())) +
                             ") or the dialog VANTREL_MM_ASSISTED_CHECKIN";
    if (processed_.empty())
      if (const auto summary = analytics::current_outputs_summary(staging_, input_)) {
        analytics::print_run_summary(hl::standard_output(), "Staging run finished.", this_run(), *summary,
                                     staging_, next);
        return (staging_ / analytics::report_file).string();
      }
    const auto analytics = analytics::make_migration_analytics(
        staging_, records_.drawings, records_.resolver.components(), records_.changelog,
        [&](const analytics::model_status& s) { return !saved(s); });
    std::string report =
        analytics::make_staging_report(input_, staging_, records_.files, records_.drawings,
                                       records_.resolver.components(), records_.changelog, analytics);
    analytics::staging_status status = analytics::collect_staging_status(
        staging_, records_.files.filetable(), &analytics, records_.changelog.changes());
    status.written_by = "stage-1";
    const analytics::status_document doc = analytics::publish_staging_status(staging_, status);
    analytics::stamp_staging_outputs(staging_, input_, doc);
    analytics::print_run_summary(hl::standard_output(), "Staging run finished.", this_run(), doc, staging_,
                                 next);
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
      const analytics::status_document doc = analytics::publish_staging_status(staging_, status);
      analytics::print_run_summary(hl::standard_output(), "Staging run stopped.", this_run(), doc, staging_,
                                   "the same staging run again: it retries the file it stopped at");
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

  // Whether the model's instance file is in models/.
  bool saved(const analytics::model_status& s) const {
    std::error_code ec;
    return fs::exists(staging_ / s.staged, ec);
  }

  // Names that differ only in bytes that are no UTF-8 (Latin-1 names such as
  // B\xFCgel and B\xF6gel) are one name in the records, which could not tell
  // the files apart. The first file keeps the name; the others are not staged,
  // and every run says so and ends as one with work left undone until they
  // are renamed.
  static void set_aside_name_clashes(std::vector<fs::path>& files, std::vector<std::string>& recorded) {
    std::size_t i = 0;
    while (i < files.size() && recorded[i] == files[i].native()) ++i;
    if (i == files.size()) return;  // every name is its own bytes
    std::unordered_map<std::string_view, std::size_t> first;
    std::vector<std::size_t> clashes;
    for (i = 0; i < files.size(); ++i)
      if (const auto [it, fresh] = first.try_emplace(recorded[i], i); !fresh) {
        hl::standard_output() << "Not staged: " << records::byte_escaped_text(files[i].native())
                              << " has the same name in the records as "
                              << records::byte_escaped_text(files[it->second].native())
                              << ": the names differ only in bytes that are no UTF-8 (shown as \\xNN). "
                                 "Rename it to a UTF-8 name and run again.\n"
                              << std::flush;
        host::system::note_incomplete_run();
        clashes.push_back(i);
      }
    for (auto k = clashes.rbegin(); k != clashes.rend(); ++k) {
      files.erase(files.begin() + std::ptrdiff_t(*k));
      recorded.erase(recorded.begin() + std::ptrdiff_t(*k));
    }
  }

  // A file that cannot be read (a dangling link, a link loop) is recorded
  // with the reason and not loaded, so that no run stops at it again.
  void record_unreadable(const fs::path& file, const std::string& reason) {
    records::cad_fileinfo record;
    record.path = file;
    records_.files.update_cad_file_records(record);
    record.error_status = {hl::make_string(reason)};
    records_.files.update_cad_file_records(record);
    records_.files.update_cad_file_records(record);
    hl::standard_output() << "Cannot read " << file.string() << ": " << reason << '\n' << std::flush;
  }

  // file is the CAD file as found; its record names it in UTF-8 (recorded,
  // relative to the input directory: relative).
  void stage_file(const fs::path& file, const fs::path& recorded, const fs::path& relative) {
    const auto* known = records_.files.filetable().find(recorded.string());
    records::cad_fileinfo record;
    if (known) {
      record = *known;
    } else {
      try {
        record = records::make_cad_fileinfo(file);
      } catch (const hl::lisp_error& e) {
        return record_unreadable(recorded, e.message());
      }
      record.path = recorded;
    }
    switch (record.state) {
      case cad_file_state::new_:
        records_.files.update_cad_file_records(record);
        break;
      case cad_file_state::processing:
        // Loaded before but not finished: again, as from the load on.
        record.state = cad_file_state::loading;
        break;
      case cad_file_state::complete:
        // Its models could not all be saved: again, from the load on.
        if (analytics::classify_cad_file(record) != analytics::cad_file_outcome::save_failed) return;
        record.models_3d.clear();
        record.drawing.clear();
        record.state = cad_file_state::loading;
        break;
      case cad_file_state::loading:  // the host died loading it once
        return;
    }
    {
      // The import log of a drawing goes into the staging directory.
      working_directory cwd(directory_namestring(staging_));
      load_cadfile(record, file);
    }
    // The load step is over whatever an interrupt asked meanwhile; the file
    // is left to be loaded again by the next run.
    records_.files.update_cad_file_records(record);
    stop_when_interrupted(file);
    const bool check = options_.check;
    checkin::source_models models;
    models.earlier = records_.files.take_staged_models(recorded);
    models.record = [&](const checkin::top_level_sysids& tops) {
      records_.files.record_staged_models(recorded, tops);
    };
    checkin::invoke_conflict_resolver(
        records_.resolver, relative,
        [check](const records::extended_location& at) {
          return check_component(records::to_sel_item(at), check);
        },
        records_.changelog, session_, models);
    host::oli::sd_set_model_checkpoint();
    std::vector<std::string> failures;
    std::error_code ec;
    fs::create_directories(models_dir_, ec);
    for (const hl::ref& model :
         hl::list_to_vector(host::oli::sd_inq_obj_children(host::elan_ui::get_root_sel_item())))
      if (std::optional<std::string> failure = save_model(model, record)) failures.push_back(*failure);
    if (const hl::ref dno = host::oli::sd_am_inq_drawing_no(); hl::truthy(dno))
      record.drawing = records::make_relative_path(
          staging_,
          stage_drawing(hl::as_string(dno), record, input_, staging_, records_.drawings, claimed_, file));
    if (!failures.empty()) {
      std::string message = failures.front();
      for (std::size_t i = 1; i < failures.size(); ++i) message += "; " + failures[i];
      record.error_status = analytics::make_save_failure_status(message);
    }
    records_.files.update_cad_file_records(record);
    if (!record.drawing.empty()) claimed_.insert(record.drawing.string());
    host::oli::sd_return_to_model_checkpoint(checkpoint_);
    host::docu::am_drawing_delete();
  }

  // Saves the model into models/ and lists it in the record; the failure's
  // message when it could not be saved (the model is not listed then).
  std::optional<std::string> save_model(const hl::ref& model, records::cad_fileinfo& record) {
    const hl::ref instance = host::elan::sel_item_item(model);
    const hl::ref name = host::elan::inquire_name(instance);
    const hl::ref filename = host::frame2::inquire_cluster_filename(instance);
    const save_result saved = save_instance(model, models_dir_);
    if (hl::eql(saved.status, hl::ref(&hl::keyword("OK")))) {
      record.models_3d.insert(record.models_3d.begin(),
                              {hl::stringp(name) ? hl::as_string(name) : std::string(),
                               fs::path(records::model_staging_dir) /
                                   (hl::stringp(filename) ? hl::as_string(filename) : std::string())});
      return std::nullopt;
    }
    const hl::ref reason =
        hl::truthy(saved.error)
            ? host::frame2::read_error_object(saved.error, hl::ref(&hl::keyword("ERROR-MESG")))
            : hl::make_string("the models directory " + models_dir_.string() + " cannot be entered");
    const std::string message =
        hl::format("The model ~A of ~A was not saved: ~A", host::oli::sd_inq_obj_pathname(model),
                   hl::make_string(record.path.string()), reason);
    hl::standard_output() << message << '\n' << std::flush;
    return message;
  }

  const fs::path input_, staging_;
  const staging_options options_;
  core::file_lock lock_;
  run_records records_;
  const fs::path models_dir_;
  records::host_cluster_session session_;
  hl::ref checkpoint_;
  std::unordered_set<std::string> claimed_;  // the staged drawings of complete files
  std::vector<std::string> processed_;       // the files this run took up
  bool interrupted_ = false;
};

}  // namespace

std::optional<std::string> staging_directory_overlap(const fs::path& input_directory,
                                                     const fs::path& staging_directory) {
  const fs::path input = absolute_directory(input_directory), staging = absolute_directory(staging_directory);
  if (staging == input) return "The staging directory " + staging.string() + " is the input directory.";
  if (below(input, staging))
    return "The staging directory " + staging.string() + " contains the input directory " + input.string() +
           ".";
  return std::nullopt;
}

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
    // Interrupted, the run leaves the analytics and the report to the run
    // that finishes the work; the status shows where it stopped.
    if (run.interrupted()) {
      run.publish_stopped();
      return hl::nil();
    }
    report = run.report();
  }
  return options.display_report ? host::oli::sd_display_url(report) : hl::nil();
}

}  // namespace vtm::stage1
