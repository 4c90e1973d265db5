// The component map of the models in session: one record per top-level
// model and per distinct filing contents, built after the models have been
// prepared for staging.
//
// Preparing a model changes the session: database flags and database and
// library attributes go, versions whose original is in session are replaced
// by it and other versions become originals with new sysids, simplified
// components and printed circuit boards become inseparable, the coordinate
// systems of boards are deleted. Every change of a component's key is logged.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <unordered_map>

#include "host/lisp/object.h"
#include "records/file_records.h"
#include "records/ordered_table.h"

namespace vtm::records {
class change_records;
class cluster_session;
}  // namespace vtm::records

namespace vtm::checkin {

// Host handles compare by identity.
struct handle_hash {
  std::size_t operator()(const host::lisp::ref& handle) const {
    return std::hash<const void*>()(handle.get());
  }
};

// Instance handle of a top-level model -> its instance_info; contents
// handle -> its contents_info. Two clusters that share a sysid have a record
// each. Iterates in the order the records were made.
using component_map = records::ordered_table<host::lisp::ref, records::component_record, handle_hash>;

// Sysid conflicts recorded before, by key, that a change logged while the
// models were prepared took the place of in the change log (the log keeps
// one change per key); the resolver still applies them.
using shadowed_conflicts =
    std::unordered_map<records::change_key, records::change_info, records::change_key_hash>;

// The map of every model in session, scanned in the host's order; the
// models came from sourcepath (relative to the input directory), whose
// namestring prefixes the records' locations. check is the part check of
// part contents, logger receives the changes made.
component_map make_component_map(const std::filesystem::path& sourcepath, const records::part_check& check,
                                 records::change_records& logger, records::cluster_session& session,
                                 shadowed_conflicts& shadowed);

// The prefix of the locations of models loaded from sourcepath.
std::string location_prefix(const std::filesystem::path& sourcepath);

}  // namespace vtm::checkin
