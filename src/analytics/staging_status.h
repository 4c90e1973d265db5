// The state of a staging directory at a glance: what became of every CAD
// file, model, drawing and sysid change, counted and listed. It is gathered
// from the record files and written as status.json (for programs) and
// overview.html (for people) beside report.htm after every run that works
// on the directory. The format of status.json is docs/status.schema.json.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "analytics/file_outcome.h"
#include "analytics/status_records.h"
#include "records/cad_file_records.h"
#include "records/change_records.h"

namespace vtm::analytics {

inline constexpr std::string_view status_json_file = "status.json";
inline constexpr std::string_view overview_file = "overview.html";
inline constexpr std::string_view report_file = "report.htm";

struct file_entry {
  std::string source;  // absolute path of the CAD file
  cad_file_outcome outcome = cad_file_outcome::staged;
  std::string message;  // why it failed, for the failed outcomes
  std::string load_method;
  std::vector<std::string> models;  // staged model files, relative
  std::string drawing;              // staged drawing, relative; empty when none
};

struct model_entry {
  std::string key;
  std::string instance;     // the instance's path in the structure browser
  std::string source;       // relative to the input directory
  std::string source_file;  // the CAD file it was staged from; empty when unknown
  std::string staged;       // relative to the staging directory
  std::string sysid;
  category cat = category::ok;
  std::vector<std::string> tags;  // lower case, without colon
  bool checked_in = false;
  std::vector<std::string> corrupt;
  std::vector<std::pair<std::string, std::string>> disconnects;
  std::vector<model_name_conflict> name_conflicts;
  std::vector<std::string> drawings;

  // Still to be checked in: top-level workplanes are not migrated and never
  // queued for check-in.
  bool left() const;
};

struct drawing_entry {
  std::string key;
  std::string name;
  std::string source;
  std::string source_file;  // the CAD file it was staged from; empty when unknown
  std::string staged;
  std::string tag;  // the analysis tag: fully-associated, orphan, ...
  bool checked_in = false;
  std::vector<std::string> models;  // sysids of the associated models
  std::string left_because;         // empty when checked in
};

struct change_entry {
  std::string reason;  // SYSID-CONFLICT, ...
  std::string model_name;
  std::vector<std::string> locations;
  std::string sysid_before, sysid_after;
};

// A model a check-in batch passed over, and why.
struct skipped_model {
  std::string staged;
  std::string reason;
};

// The entries of one kind, made one at a time: calls its argument with each
// in turn. A large migration's status is never held whole; the outputs are
// written from the records entry by entry.
template <class E>
using entry_source = std::function<void(const std::function<void(const E&)>&)>;

// A source over entries held in memory.
template <class E>
entry_source<E> listed(std::vector<E> entries) {
  return [held = std::make_shared<const std::vector<E>>(std::move(entries))](
             const std::function<void(const E&)>& visit) {
    for (const E& e : *held) visit(e);
  };
}

struct staging_status {
  std::string staging_directory;
  std::string written_by;  // stage-1, check-in, batch-check-in, drawing-association
  std::string written_at;  // UTC, ISO 8601
  bool analysed = false;   // analytics.lsp was there
  entry_source<file_entry> files = listed<file_entry>({});
  entry_source<model_entry> models = listed<model_entry>({});
  entry_source<drawing_entry> drawings = listed<drawing_entry>({});
  entry_source<change_entry> changes = listed<change_entry>({});
  std::vector<skipped_model> skipped;

  std::map<std::string, std::int64_t> file_counts() const;   // per outcome name, and "found"
  std::map<std::string, std::int64_t> model_counts() const;  // total, ready, warnings, errors, ...
  std::map<std::string, std::int64_t> model_tag_counts() const;
  // Both of the above from one walk of the models.
  std::pair<std::map<std::string, std::int64_t>, std::map<std::string, std::int64_t>> model_counts_and_tags()
      const;
  std::map<std::string, std::int64_t> drawing_counts() const;  // total, per tag, checked-in, left
  std::map<std::string, std::int64_t> change_counts() const;   // per reason
};

std::string_view category_name(category c);  // "ready", "warnings", "errors"

// The status of the records as they are in memory, which must outlive it:
// its entries are made from them as they are visited. analytics is null
// when the directory has no analytics.lsp yet.
staging_status collect_staging_status(const std::filesystem::path& staging,
                                      const records::cad_file_records::table_type& files,
                                      const migration_analytics* analytics,
                                      const records::change_records::table_type& changes);

// Reads the record files of the staging directory; the status holds them.
// The caller must have the directory to itself (a cut-off last record is
// repaired as any record manager does).
staging_status read_staging_status(const std::filesystem::path& staging);

// Replaces file by what write puts on the stream it is given: written beside
// the file and renamed over it, so that a reader (a browser,
// vtm:staging-status) sees the old or the new file, never a part. Signals
// the host error naming what and where on failure.
void replace_file(const std::filesystem::path& file, const std::string& what,
                  const std::function<void(std::ostream&)>& write);

}  // namespace vtm::analytics
