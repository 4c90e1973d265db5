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

// The lines of a step's trace that say what went wrong.
std::string host_messages(const std::string& trace) {
  std::istringstream in(trace);
  std::string line, messages;
  while (std::getline(in, line))
    if (line.find("Error") != std::string::npos || line.find("failed") != std::string::npos ||
        line.find("not stored") != std::string::npos)
      messages += (messages.empty() ? "" : "; ") + line;
  return messages.empty() ? std::string() : " (" + messages + ")";
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
      if (std::optional<std::string> failure = check_in_model(key)) return stop(key, *failure);
      progress.tick();
      host_.console() << "Batch check-in [" << position << "/" << queued.size() << "] " << key
                      << ": checked in" << '\n'
                      << std::flush;
    }
    finish();
    log_.line("Finished: " + plural(result_.models_checked_in, "model") + " and " +
              plural(result_.drawings_checked_in, "drawing") + " checked in by this run, " +
              plural(result_.models_left, "model") + " left");
    return result_;
  }

 private:
  std::string policy_name() const {
    for (const auto& [name, policy] : policies)
      if (policy == options_.policy) return lowercase_keyword(name);
    return "";
  }

  // Runs a command line and what it queues; the dialog's and Model
  // Manager's completions among them.
  bool call(const std::string& line) {
    host_.take_trace();
    const bool ok = host::frame2::sd_call_cmds(line);
    trace_ = host_.take_trace();
    return ok;
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
    for (const fs::path& path : model.associated_drawings) {
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
      return "it could not be loaded" + host_messages(trace_);
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
      if (!has_tag(*model, "CHECKED-IN")) return "Model Manager did not store it" + host_messages(trace_);
      ++result_.models_checked_in;
      log_.line(label(key) + ": checked in");
    }
    for (const std::string& drawing : pending_drawings(*model)) {
      if (!step(":staged_dwg " + quoted(drawing)) || !step(":check_in_drawing"))
        return "its drawing " + drawing + " could not be checked in" + host_messages(trace_);
      const drawing_status_ptr* status = context() ? context()->drawing_queue.find(drawing) : nullptr;
      if (!status || !has_tag(**status, "CHECKED-IN"))
        return "Model Manager did not store its drawing " + drawing + host_messages(trace_);
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
        return "the model name conflict of " + quoted(conflict) + " stays after its resolution";
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

  void finish() {
    if (host::dialogs::active_dialog() == assisted_checkin_dialog) call("cancel");
    result_.models_left = 0;
    if (context())
      for (const auto& [key, status] : context()->model_queue)
        if (!has_tag(*status, "CHECKED-IN")) ++result_.models_left;
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
};

}  // namespace

batch_result batch_check_in(const batch_options& options) {
  if (std::optional<std::string> refusal = staging_directory_check(options.staging_directory.string()))
    hl::simple_error(*refusal + ": " + options.staging_directory.string());
  batch_log log(options.staging_directory / batch_log_name);
  batch_result result;
  {
    const analytics::status_refresh_deferral deferral;
    quiet_host host;
    result = batch_run(options, log, host).run();
  }
  std::vector<analytics::skipped_model> skipped;
  if (result.stopped_at && !result.stopped_at->empty())
    skipped.push_back({*result.stopped_at, result.reason});
  if (const auto status =
          analytics::try_refresh_staging_status(options.staging_directory, "batch-check-in", skipped))
    analytics::print_run_summary(
        hl::standard_output(), result.stopped_at ? "Batch check-in stopped." : "Batch check-in finished.",
        {{"models checked in", result.models_checked_in},
         {"drawings checked in", result.drawings_checked_in}},
        *status, options.staging_directory,
        result.stopped_at
            ? "the dialog VANTREL_MM_ASSISTED_CHECKIN for the model it stopped at, then "
              "(vtm:batch-check-in " +
                  hl::prin1_to_string(hl::make_string(options.staging_directory.string())) + ") again"
            : std::string());
  return result;
}

void define_batch_check_in() {
  core::define_function("BATCH-CHECK-IN", 1, hl::any_count, [](hl::args_t args) {
    hl::keyword_args k("BATCH-CHECK-IN", args, 1, {"POLICY", "IGNORE-ERRORS"});
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
    const batch_result r = batch_check_in(options);
    if (r.stopped_at)
      hl::simple_error("The batch check-in stopped at " +
                       (r.stopped_at->empty() ? "the start" : *r.stopped_at) + ": " + r.reason + ". " +
                       plural(r.models_checked_in, "model") + " checked in before it; see " + r.log.string() +
                       ".");
    return hl::list({hl::ref(&hl::keyword("MODELS-CHECKED-IN")), hl::make_integer(r.models_checked_in),
                     hl::ref(&hl::keyword("DRAWINGS-CHECKED-IN")), hl::make_integer(r.drawings_checked_in),
                     hl::ref(&hl::keyword("MODELS-LEFT")), hl::make_integer(r.models_left)});
  });
  core::doc::function(
      hl::ref(&core::main_symbol("BATCH-CHECK-IN")), hl::nil(),
      {"Checks every model queued in the staging directory into Model Manager, then its drawings.",
       "POLICY resolves model name conflicts: :preset (default), :rename-local or :none (a conflict",
       "stops). IGNORE-ERRORS checks in models with check errors. Stops at the first model it cannot",
       "check in; writes batch-checkin.log in the directory; a later run goes on from there."});
}

}  // namespace vtm::checkin
