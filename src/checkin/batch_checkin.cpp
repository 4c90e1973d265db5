#include "checkin/batch_checkin.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "analytics/migration_analytics.h"
#include "analytics/staging_outputs.h"
#include "checkin/assisted_checkin_dia.h"
#include "checkin/checkin_session.h"
#include "checkin/name_conflict_panel.h"
#include "core/module_env.h"
#include "core/run_progress.h"
#include "core/vtm_doctools.h"
#include "host/dialogs.h"
#include "host/events.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/run_outcome.h"

namespace vtm::checkin {

namespace fs = std::filesystem;
namespace hl = host::lisp;

namespace {

std::string quoted(const std::string& text) { return hl::prin1_to_string(hl::make_string(text)); }

std::string lowercase_keyword(std::string name) {
  for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ":" + name;
}

std::string plural(long n, const std::string& word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// The policies by their keyword names.
constexpr std::pair<const char*, conflict_policy> policies[] = {
    {"PRESET", conflict_policy::preset},
    {"RENAME-LOCAL", conflict_policy::rename_local},
    {"NONE", conflict_policy::none}};

// Appends timestamped lines, each flushed, so that a host that dies leaves
// the log up to its last step.
class batch_log {
 public:
  explicit batch_log(const fs::path& file) : file_(file), out_(file, std::ios::app) {
    if (!out_) hl::simple_error("The batch check-in cannot write its log " + file.string() + ".");
  }
  void line(const std::string& text) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    out_ << stamp << ' ' << text << '\n' << std::flush;
  }
  const fs::path& file() const { return file_; }

 private:
  fs::path file_;
  std::ofstream out_;
};

// While the batch runs, the host's trace of each step is kept rather than
// printed: the console shows one progress line per model, and a failed
// step's messages go into the log.
class quiet_host {
 public:
  quiet_host() : console_(hl::standard_output()) { hl::set_standard_output(trace_); }
  ~quiet_host() { hl::set_standard_output(console_); }
  quiet_host(const quiet_host&) = delete;
  quiet_host& operator=(const quiet_host&) = delete;

  std::ostream& console() { return console_; }
  std::string take_trace() {
    std::string text = trace_.str();
    trace_.str("");
    return text;
  }

 private:
  std::ostream& console_;
  std::ostringstream trace_;
};

bool& running() {
  static bool batch = false;
  return batch;
}

// The lines of a step's trace that say what went wrong: the host's and
// Model Manager's own messages.
std::vector<std::string> failure_lines(const std::string& trace) {
  std::istringstream in(trace);
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(in, line))
    if (line.find("Error") != std::string::npos || line.find("failed") != std::string::npos ||
        line.find("not stored") != std::string::npos || line.find("busy") != std::string::npos)
      lines.push_back(line);
  return lines;
}

std::string host_messages(const std::string& trace) {
  std::string messages;
  for (const std::string& line : failure_lines(trace)) messages += (messages.empty() ? "" : "; ") + line;
  return messages.empty() ? std::string() : " (" + messages + ")";
}

bool database_busy(const std::string& text) {
  return text.find("database is locked") != std::string::npos ||
         text.find("stayed busy") != std::string::npos;
}

class batch_run {
 public:
  batch_run(const batch_options& options, batch_log& log, quiet_host& host)
      : options_(options), log_(log), host_(host) {}

  batch_result run() {
    result_.log = log_.file();
    const std::string directory = options_.staging_directory.string();
    if (!call(std::string(assisted_checkin_dialog) + " :staging_directory " + quoted(directory)) ||
        !context())
      return stop("", "the assisted check-in did not open the directory" + host_messages(trace_));
    std::vector<std::string> queued;
    int done = 0;
    for (const auto& [key, status] : context()->model_queue) {
      queued.push_back(key);
      if (has_tag(*status, "CHECKED-IN")) ++done;
    }
    log_.line("Started on " + directory + " with the conflict policy " + policy_name() +
              (options_.ignore_errors ? ", check errors ignored" : "") + ": " +
              plural(long(queued.size()), "model") + " queued, " + std::to_string(done) +
              " checked in already");
    const auto finished = [&](const std::string& key) {
      const model_status_ptr model = queued_model(key);
      return !model || (has_tag(*model, "CHECKED-IN") && pending_drawings(*model).empty());
    };
    std::int64_t before = 0;
    for (const std::string& key : queued) before += finished(key) ? 1 : 0;
    core::run_progress progress("Batch check-in", std::int64_t(queued.size()), before);
    int position = 0;
    for (const std::string& key : queued) {
      ++position;
      if (finished(key)) continue;
      progress.working_on(key);
      messages_.clear();
      std::optional<std::string> failure = check_in_model(key);
      if (failure && database_busy(*failure + trace_))
        failure = "the Model Manager database is busy: " + *failure;
      const std::string line = "Batch check-in [" + std::to_string(position) + "/" +
                               std::to_string(queued.size()) + "] " + key + ": ";
      if (failure && !options_.skip_failures) return stop(key, *failure);
      progress.tick();
      if (failure) {
        result_.skipped.push_back({key, *failure});
        log_.line("Skipped " + label(key) + ": " + *failure);
        host_.console() << line << "skipped: " << *failure << '\n' << std::flush;
        leave_dialogs_but_the_check_in();
        continue;
      }
      host_.console() << line << "checked in" << '\n' << std::flush;
    }
    finish();
    log_.line("Finished: " + plural(result_.models_checked_in, "model") + " and " +
              plural(result_.drawings_checked_in, "drawing") + " checked in by this run, " +
              plural(result_.models_left, "model") + " left" +
              (options_.skip_failures ? ", " + plural(long(result_.skipped.size()), "model") + " skipped"
                                      : std::string()));
    if (options_.skip_failures) summarize();
    return result_;
  }

 private:
  std::string policy_name() const {
    for (const auto& [name, policy] : policies)
      if (policy == options_.policy) return lowercase_keyword(name);
    return "";
  }

  // Runs a command line and what it queues; the dialog's and Model
  // Manager's completions among them. What the host and Model Manager say
  // went wrong is logged at once and kept for the model's reason.
  bool call(const std::string& line) {
    host_.take_trace();
    const bool ok = host::frame2::sd_call_cmds(line);
    trace_ = host_.take_trace();
    for (const std::string& message : failure_lines(trace_))
      if (std::find(messages_.begin(), messages_.end(), message) == messages_.end()) {
        messages_.push_back(message);
        log_.line("  " + message);
      }
    return ok;
  }

  // The host's messages seen while working on the current model.
  std::string model_messages() const {
    std::string text;
    for (const std::string& m : messages_) text += (text.empty() ? "" : "; ") + m;
    return text.empty() ? std::string() : " (" + text + ")";
  }

  // After a model it skips, the assisted dialog or none is left running:
  // a store or comparison dialog the model left open is cancelled.
  void leave_dialogs_but_the_check_in() {
    for (int i = 0; i < 4; ++i) {
      const std::string dialog = host::dialogs::active_dialog();
      if (dialog.empty() || dialog == assisted_checkin_dialog) return;
      call("cancel");
    }
  }

  // What was done, what was skipped and why, and the drawings left.
  void summarize() {
    std::ostream& out = host_.console();
    const std::string head = "Batch check-in summary: " + plural(result_.models_checked_in, "model") +
                             " and " + plural(result_.drawings_checked_in, "drawing") + " checked in, " +
                             plural(long(result_.skipped.size()), "model") + " skipped, " +
                             plural(long(result_.drawings_left.size()), "drawing") + " left";
    out << head << '\n';
    log_.line(head);
    for (const skipped_model& s : result_.skipped) {
      out << "  skipped " << label(s.staged) << ": " << s.reason << '\n';
      log_.line("  skipped " + label(s.staged) + ": " + s.reason);
    }
    for (const left_drawing& d : result_.drawings_left) {
      out << "  drawing left " << d.staged << ": " << d.reason << '\n';
      log_.line("  drawing left " + d.staged + ": " + d.reason);
    }
    out << std::flush;
  }

  // Options for the assisted dialog; they start it again when a Model
  // Manager dialog has ended it.
  bool step(const std::string& options) {
    return call(host::dialogs::active_dialog() == assisted_checkin_dialog
                    ? options
                    : std::string(assisted_checkin_dialog) + " " + options);
  }

  static const std::shared_ptr<check_in_context>& context() { return mm_check_in_context(); }

  static model_status_ptr queued_model(const std::string& key) {
    if (!context()) return nullptr;
    const model_status_ptr* status = context()->model_queue.find(key);
    return status ? *status : nullptr;
  }

  static std::vector<std::string> pending_drawings(const analytics::model_status& model) {
    std::vector<std::string> pending;
    if (!context()) return pending;
    for (const records::record_path& path : model.associated_drawings) {
      const drawing_status_ptr* drawing = context()->drawing_queue.find(path.string());
      if (drawing && !has_tag(**drawing, "CHECKED-IN")) pending.push_back(path.string());
    }
    return pending;
  }

  std::string label(const std::string& key) const {
    const model_status_ptr model = queued_model(key);
    const std::string name = model ? analytics::model_status_instancename(*model) : std::string();
    return name.empty() ? key : key + " (" + name + ")";
  }

  // The reason the model could not be checked in, nothing when it and its
  // drawings were.
  std::optional<std::string> check_in_model(const std::string& key) {
    if (!step(":staged " + quoted(key)) || !context() || !context()->current_model() ||
        context()->current_model()->staged.string() != key)
      return "it could not be loaded" + model_messages();
    const model_status_ptr model = context()->current_model();
    if (!has_tag(*model, "CHECKED-IN")) {
      const std::size_t errors = model->disconnects.size() + model->corrupt.size();
      if (errors > 0) {
        if (!options_.ignore_errors)
          return "it has " + plural(long(errors), "check error") +
                 " (lost parts or corrupt contents, see report.htm); run with :ignore-errors t to check it "
                 "in "
                 "regardless";
        if (!step(":ignore_errors :on")) return "its errors could not be ignored" + host_messages(trace_);
      }
      if (std::optional<std::string> failure = resolve_conflicts(key)) return failure;
      if (!step(":check_in")) return "its check-in was refused" + host_messages(trace_);
      // Model Manager's store dialog has ended the assisted one.
      const std::string dialog = host::dialogs::active_dialog();
      if (!has_tag(*model, "CHECKED-IN") && !dialog.empty() && dialog != assisted_checkin_dialog &&
          !call("complete"))
        return "Model Manager's store failed" + host_messages(trace_);
      if (!has_tag(*model, "CHECKED-IN")) return "Model Manager did not store it" + model_messages();
      ++result_.models_checked_in;
      log_.line(label(key) + ": checked in");
    }
    for (const std::string& drawing : pending_drawings(*model)) {
      if (!step(":staged_dwg " + quoted(drawing)) || !step(":check_in_drawing"))
        return drawing_failed(key, drawing, "its drawing " + drawing + " could not be checked in");
      const drawing_status_ptr* status = context() ? context()->drawing_queue.find(drawing) : nullptr;
      if (!status || !has_tag(**status, "CHECKED-IN"))
        return drawing_failed(key, drawing, "Model Manager did not store its drawing " + drawing);
      ++result_.drawings_checked_in;
      log_.line(drawing + ": checked in after " + key);
    }
    return std::nullopt;
  }

  std::optional<std::string> resolve_conflicts(const std::string& key) {
    bool retried = false;
    std::map<std::string, int> attempts;
    while (context() && !context()->current_conflicts.empty()) {
      const auto& [name, info] = *context()->current_conflicts.begin();
      const std::string conflict = name;
      if (options_.policy == conflict_policy::none)
        return "it has " + plural(long(context()->current_conflicts.size()), "model name conflict") +
               ", the first " + quoted(conflict) + ", and the policy :none resolves none";
      if (name_query_failed_p(*info)) {
        if (retried) return "the name query of " + quoted(conflict) + " failed: " + info->elid.value_or("");
        retried = true;
        log_.line(label(key) + ": name queries retried after " + info->elid.value_or(""));
        requery_failed_names(*context());
        if (!call(assisted_checkin_dialog)) return "the dialog did not take up the retried queries";
        continue;
      }
      if (++attempts[conflict] > 2)
        return "the model name conflict of " + quoted(conflict) + " stays after its resolution" +
               model_messages();
      if (!step(":modelname " + quoted(conflict)))
        return "its name conflict " + quoted(conflict) + " could not be chosen" + host_messages(trace_);
      const name_info_ptr* chosen = context() ? context()->current_conflicts.find(conflict) : nullptr;
      if (!chosen) continue;
      const std::string how = options_.policy == conflict_policy::rename_local
                                  ? "RENAME-LOCAL"
                                  : conflict_resolution_choices(**chosen).preset;
      const std::string apply = options_.policy == conflict_policy::rename_local
                                    ? ":resolution :rename-local :apply_resolution"
                                    : ":apply_resolution";
      if (!step(apply))
        return "resolving " + quoted(conflict) + " by " + lowercase_keyword(how) + " failed" +
               host_messages(trace_);
      log_.line(label(key) + ": " + quoted(conflict) + " resolved by " + lowercase_keyword(how));
    }
    return std::nullopt;
  }

  std::string drawing_failed(const std::string& model, const std::string& drawing, const std::string& why) {
    const std::string reason = why + model_messages();
    drawing_failures_[model][drawing] = reason;
    return reason;
  }

  void finish() {
    if (host::dialogs::active_dialog() == assisted_checkin_dialog) call("cancel");
    result_.models_left = 0;
    if (!context()) return;
    for (const auto& [key, status] : context()->model_queue) {
      if (!has_tag(*status, "CHECKED-IN")) ++result_.models_left;
      for (const records::record_path& path : status->associated_drawings) {
        const drawing_status_ptr* drawing = context()->drawing_queue.find(path.string());
        if (drawing && has_tag(**drawing, "CHECKED-IN")) continue;
        std::string reason;
        if (!drawing)
          reason = "not queued: its staging had errors";
        else if (!has_tag(*status, "CHECKED-IN"))
          reason = "its model " + key + " is not checked in";
        else if (const auto failed = drawing_failures_.find(key);
                 failed != drawing_failures_.end() && failed->second.count(path.string()))
          reason = failed->second.at(path.string());
        else
          reason = "not checked in";
        result_.drawings_left.push_back({path.string(), reason});
      }
    }
  }

  batch_result stop(const std::string& key, const std::string& reason) {
    result_.stopped_at = key;
    result_.reason = reason;
    finish();
    log_.line("Stopped at " + (key.empty() ? options_.staging_directory.string() : label(key)) + ": " +
              reason);
    return result_;
  }

  const batch_options& options_;
  batch_log& log_;
  quiet_host& host_;
  batch_result result_;
  std::string trace_;
  std::vector<std::string> messages_;
  std::map<std::string, std::map<std::string, std::string>> drawing_failures_;  // model -> drawing -> why
};

// Marks the batch as running for its lifetime.
class running_batch {
 public:
  running_batch() { running() = true; }
  ~running_batch() { running() = false; }
  running_batch(const running_batch&) = delete;
  running_batch& operator=(const running_batch&) = delete;
};

}  // namespace

bool batch_check_in_running() { return running(); }

batch_result batch_check_in(const batch_options& options) {
  if (std::optional<std::string> refusal = staging_directory_check(options.staging_directory.string()))
    hl::simple_error(*refusal + ": " + options.staging_directory.string());
  hold_staging_directory(options.staging_directory);
  batch_log log(options.staging_directory / batch_log_name);
  batch_result result;
  {
    const analytics::status_refresh_deferral deferral;
    running_batch batch;
    quiet_host host;
    result = batch_run(options, log, host).run();
  }
  if (!result.skipped.empty() || (options.skip_failures && !result.drawings_left.empty()))
    host::system::note_incomplete_run();
  std::vector<analytics::skipped_model> skipped;
  for (const skipped_model& s : result.skipped) skipped.push_back({s.staged, s.reason});
  if (result.stopped_at && !result.stopped_at->empty())
    skipped.push_back({*result.stopped_at, result.reason});
  const std::string again =
      "(vtm:batch-check-in " + hl::prin1_to_string(hl::make_string(options.staging_directory.string())) + ")";
  if (const auto status =
          analytics::try_refresh_staging_status(options.staging_directory, "batch-check-in", skipped))
    analytics::print_run_summary(
        hl::standard_output(), result.stopped_at ? "Batch check-in stopped." : "Batch check-in finished.",
        {{"models checked in", result.models_checked_in},
         {"drawings checked in", result.drawings_checked_in},
         {"models skipped", std::int64_t(result.skipped.size())}},
        *status, options.staging_directory,
        result.stopped_at
            ? "the dialog VANTREL_MM_ASSISTED_CHECKIN for the model it stopped at, then " + again + " again"
        : !skipped.empty() ? "the dialog VANTREL_MM_ASSISTED_CHECKIN for the skipped models, or " + again +
                                 " again to retry them"
                           : std::string());
  return result;
}

void define_batch_check_in() {
  core::define_function("BATCH-CHECK-IN", 1, hl::any_count, [](hl::args_t args) {
    hl::keyword_args k("BATCH-CHECK-IN", args, 1, {"POLICY", "IGNORE-ERRORS", "ON-FAILURE"});
    batch_options options;
    options.staging_directory = fs::absolute(text_of(args[0]));
    const hl::ref policy = k.get("POLICY", hl::ref(&hl::keyword("PRESET")));
    const std::string policy_name = hl::keywordp(policy) ? hl::as_symbol(policy).name : "";
    const auto known = std::find_if(std::begin(policies), std::end(policies),
                                    [&](const auto& p) { return policy_name == p.first; });
    if (known == std::end(policies))
      hl::simple_error("The policy of BATCH-CHECK-IN is :preset, :rename-local or :none, not " +
                       hl::prin1_to_string(policy) + ".");
    options.policy = known->second;
    options.ignore_errors = hl::truthy(k.get("IGNORE-ERRORS", hl::nil()));
    const hl::ref on_failure = k.get("ON-FAILURE", hl::ref(&hl::keyword("STOP")));
    const std::string on_failure_name = hl::keywordp(on_failure) ? hl::as_symbol(on_failure).name : "";
    if (on_failure_name != "STOP" && on_failure_name != "SKIP")
      hl::simple_error("The :on-failure of BATCH-CHECK-IN is :stop or :skip, not " +
                       hl::prin1_to_string(on_failure) + ".");
    options.skip_failures = on_failure_name == "SKIP";
    const batch_result r = batch_check_in(options);
    if (r.stopped_at)
      hl::simple_error("The batch check-in stopped at " +
                       (r.stopped_at->empty() ? "the start" : *r.stopped_at) + ": " + r.reason + ". " +
                       plural(r.models_checked_in, "model") + " checked in before it; see " + r.log.string() +
                       ".");
    std::vector<hl::ref> outcome{
        hl::ref(&hl::keyword("MODELS-CHECKED-IN")),   hl::make_integer(r.models_checked_in),
        hl::ref(&hl::keyword("DRAWINGS-CHECKED-IN")), hl::make_integer(r.drawings_checked_in),
        hl::ref(&hl::keyword("MODELS-LEFT")),         hl::make_integer(r.models_left)};
    if (options.skip_failures) {
      outcome.push_back(hl::ref(&hl::keyword("MODELS-SKIPPED")));
      outcome.push_back(hl::make_integer(long(r.skipped.size())));
    }
    return hl::list_from(outcome);
  });
  core::doc::function(
      hl::ref(&core::main_symbol("BATCH-CHECK-IN")), hl::nil(),
      {"Checks every model queued in the staging directory into Model Manager, then its drawings.",
       "POLICY resolves model name conflicts: :preset (default), :rename-local or :none (a conflict",
       "stops). IGNORE-ERRORS checks in models with check errors. ON-FAILURE :stop (default) stops at",
       "the first model it cannot check in; :skip logs why, goes on and ends with a summary (exit",
       "status 3 when anything was skipped). Writes batch-checkin.log in the directory; a later run",
       "goes on from there and retries what was skipped."});
}

}  // namespace vtm::checkin
