#include "analytics/staging_outputs.h"

#include <set>
#include <sstream>

#include "analytics/overview_page.h"
#include "core/module_env.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/streams.h"

namespace vtm::analytics {

namespace fs = std::filesystem;
namespace hl = host::lisp;
using json = status_document;

json publish_staging_status(const fs::path& dir, staging_status& status) {
  // A stage-1 run or a check-in session does not know what an earlier batch
  // passed over; the last status.json does.
  std::set<std::string> listed;
  for (const skipped_model& s : status.skipped) listed.insert(s.staged);
  std::set<std::string> checked_in;
  status.models([&](const model_entry& m) {
    if (m.checked_in) checked_in.insert(m.staged);
  });
  std::optional<status_document> before;
  try {
    before = read_status_counts(dir);
  } catch (const hl::lisp_error&) {
    // A damaged status file is replaced; it holds nothing the records lack
    // but the skipped models.
  }
  if (before && before->contains("models") && (*before)["models"].contains("skipped"))
    for (const json& s : (*before)["models"]["skipped"]) {
      const std::string staged = s.value("staged", "");
      if (!staged.empty() && !checked_in.count(staged) && listed.insert(staged).second)
        status.skipped.push_back({staged, s.value("reason", "")});
    }
  std::erase_if(status.skipped, [&](const skipped_model& s) { return checked_in.count(s.staged) > 0; });
  json doc = write_status_json(dir, status);
  write_overview_page(dir, status, doc);
  return doc;
}

json refresh_staging_status(const fs::path& dir, const std::string& written_by,
                            const std::vector<skipped_model>& skipped) {
  staging_status status = read_staging_status(dir);
  status.written_by = written_by;
  status.skipped = skipped;
  return publish_staging_status(dir, status);
}

namespace {

int deferrals = 0;

std::int64_t count(const json& doc, const char* group, const char* part, const char* name) {
  if (!doc.contains(group) || !doc[group].contains(part)) return 0;
  const json& counts = doc[group][part];
  return counts.contains(name) && counts[name].is_number_integer() ? counts[name].get<std::int64_t>() : 0;
}

}  // namespace

status_refresh_deferral::status_refresh_deferral() { ++deferrals; }
status_refresh_deferral::~status_refresh_deferral() { --deferrals; }
bool status_refresh_deferral::active() { return deferrals > 0; }

std::optional<json> try_refresh_staging_status(const fs::path& dir, const std::string& written_by,
                                               const std::vector<skipped_model>& skipped) {
  try {
    return refresh_staging_status(dir, written_by, skipped);
  } catch (const hl::lisp_error& e) {
    hl::standard_output() << "The status of " << dir.string() << " was not written: " << e.what() << "\n"
                          << std::flush;
    return std::nullopt;
  }
}

void refresh_after_check_in(const fs::path& dir) {
  if (!status_refresh_deferral::active()) try_refresh_staging_status(dir, "check-in");
}

std::string status_summary(const json& doc) {
  const auto n = [&](const char* group, const char* name) { return count(doc, group, "counts", name); };
  const auto tag = [&](const char* name) { return count(doc, "models", "by-tag", name); };
  std::ostringstream out;
  const std::string dir = doc.value("staging-directory", "");
  out << "Staging directory " << dir << "\n"
      << "  status of " << doc.value("written-at", "?") << ", written by " << doc.value("written-by", "?")
      << "\n"
      << "  Files:    " << n("files", "found") << " found: " << n("files", "staged") << " staged, "
      << n("files", "load-failed") << " failed to load, " << n("files", "save-failed") << " failed to save, "
      << n("files", "crashed") << " crashed the host, " << n("files", "unfinished") << " unfinished, "
      << n("files", "no-loader") << " without a loader\n";
  if (!doc.value("analysed", false)) {
    out << "  Models and drawings: not analysed yet (the staging run has not finished)\n";
  } else {
    out << "  Models:   " << n("models", "total") << ": " << n("models", "ready") << " ready, "
        << n("models", "warnings") << " with warnings, " << n("models", "errors") << " with errors ("
        << tag("corrupt") << " corrupt, " << tag("disconnected") << " with lost parts)\n"
        << "            " << tag("model-name-conflict") << " with name conflicts, " << tag("top-level-wp")
        << " top-level workplanes\n"
        << "  Check-in: " << n("models", "checked-in") << " models checked in, " << n("models", "left")
        << " left, " << n("models", "skipped") << " passed over by a batch\n"
        << "  Drawings: " << n("drawings", "total") << ": " << n("drawings", "fully-associated")
        << " fully associated, " << n("drawings", "partially-associated") << " partly, "
        << n("drawings", "associated-by-model-name") << " by model name only, " << n("drawings", "orphan")
        << " orphaned\n"
        << "            " << n("drawings", "checked-in") << " checked in, " << n("drawings", "left")
        << " left\n";
  }
  std::int64_t changes = 0;
  std::string by_reason;
  if (doc.contains("changes") && doc["changes"].contains("counts"))
    for (const auto& [reason, k] : doc["changes"]["counts"].items()) {
      changes += k.get<std::int64_t>();
      by_reason += (by_reason.empty() ? "" : ", ") + reason + " " + std::to_string(k.get<std::int64_t>());
    }
  out << "  Changes:  " << changes << " sysid changes" << (by_reason.empty() ? "" : " (" + by_reason + ")")
      << "\n"
      << "  Overview: " << (fs::path(dir) / doc.value("overview", std::string(overview_file))).string()
      << "\n";
  return out.str();
}

void print_run_summary(std::ostream& out, const std::string& headline,
                       const std::vector<std::pair<std::string, std::int64_t>>& this_run,
                       const status_document& doc, const fs::path& dir, const std::string& next) {
  out << headline;
  if (!this_run.empty()) {
    out << " This run:";
    bool first = true;
    for (const auto& [label, n] : this_run) {
      out << (first ? " " : ", ") << n << " " << label;
      first = false;
    }
    out << ".";
  }
  out << "\n"
      << status_summary(doc) << "  Status:   " << (dir / status_json_file).string() << "\n"
      << "  Report:   " << (dir / report_file).string() << "\n";
  if (!next.empty()) out << "Next: " << next << "\n";
  out << std::flush;
}

void define_staging_status() {
  core::define_function("STAGING-STATUS", 1, 1, [](hl::args_t args) {
    const fs::path dir = fs::absolute(core::text_of(args[0]));
    const std::optional<status_document> doc = read_status_counts(dir);
    if (!doc)
      hl::simple_error(
          "The directory " + dir.string() +
          " has no status.json: no staging run, check-in or association has finished there yet.");
    hl::standard_output() << status_summary(*doc) << std::flush;
    return hl::t();
  });
}

}  // namespace vtm::analytics
