// The sysid conflict resolver of the staging run: it preprocesses the models
// loaded from one CAD file, makes one component record per filing cluster,
// gives a component a new sysid where its identity clashes with one staged
// before, and persists the records and the changes it made.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "records/component_records.h"
#include "records/file_records.h"

namespace vtm::records {
class change_records;
class cluster_session;
}  // namespace vtm::records

namespace vtm::checkin {

class conflict_resolver {
 public:
  explicit conflict_resolver(records::component_records components) : components_(std::move(components)) {}
  // components.lsp of the staging directory: each sysid staged so far with
  // its newest record.
  records::component_records& components() { return components_; }

 private:
  records::component_records components_;
};

// Opens components.lsp of the staging directory dir.
conflict_resolver make_conflict_resolver(const std::filesystem::path& dir);

// The top-level models of the CAD file being resolved, by sysid:
// (sysid loaded with . sysid staged under), in the host's order.
using top_level_sysids = std::vector<std::pair<std::string, std::string>>;

struct source_models {
  // What an earlier attempt at this very file gave its models; they get the
  // same sysids again. Any other top-level model whose sysid is staged or
  // resolved already gets a new one.
  top_level_sysids earlier;
  // Told what this attempt gives them, before anything is persisted.
  std::function<void(const top_level_sysids&)> record;
};

// Resolves and persists the components of every model in session, loaded
// from sourcepath (relative to the input directory); check is the part check
// of part contents, logger the change log. The change log is written before
// the component records, so that a rerun after a crash between the two
// repeats the changes instead of making others. Answers the number of
// components resolved.
std::size_t invoke_conflict_resolver(conflict_resolver& self, const std::filesystem::path& sourcepath,
                                     const records::part_check& check, records::change_records& logger,
                                     records::cluster_session& session, const source_models& models = {});

// Closes components.lsp.
void finalize_conflict_resolver(conflict_resolver& self);

}  // namespace vtm::checkin
