// Preparing a filing contents for staging, the first time a scan meets it:
// the clean-up, and the steps for versions, simplifications and printed
// circuit boards. A step that changes the component's key logs the change
// and answers the component's record.
#pragma once

#include <optional>

#include "checkin/component_map.h"
#include "records/file_records.h"

namespace vtm::checkin {

// The position met and what its record needs.
struct component_node {
  const records::extended_location& location;
  const records::instance_info& model;  // the top-level model
  const records::part_check& check;
  records::change_records& logger;
  records::cluster_session& session;
  shadowed_conflicts& shadowed;
};

// Removes what ties the contents to a database or a parts library: its
// database flags, the database references, the library attributes of a
// library part and the symbolic name; makes it modifiable.
void clean_for_staging(const component_node& node);

// A version whose original is in session with the same time stamp and name
// is replaced by the original, whose record (from map, when it was scanned
// before) it answers; any other version becomes an original with a new
// sysid, the one logged for its key when it became an original before.
// Nothing for a contents that is no version.
std::optional<records::contents_info> version_step(const component_node& node, const component_map& map);

// A simplified component becomes inseparable: its control features and the
// simplification attribute go. Answers record (refreshed) or a new record
// when the key was taken; nothing when the node is no simplification.
std::optional<records::contents_info> simplification_step(
    const component_node& node, const std::optional<records::contents_info>& record);

// A printed circuit board ("pcb-id") loses its coordinate systems and
// becomes inseparable. Answers record (refreshed) or a new one when it was
// made inseparable; nothing when it is no board or was inseparable already.
std::optional<records::contents_info> pcb_step(const component_node& node,
                                               const std::optional<records::contents_info>& record);

}  // namespace vtm::checkin
