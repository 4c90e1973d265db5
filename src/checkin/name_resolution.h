// Resolving one name conflict: pairing the reference and the check model,
// Model Manager's comparison of the two, and the resolutions.
#pragma once

#include <optional>
#include <string_view>

#include "checkin/model_name_info.h"

namespace vtm::checkin {

enum class resolution {
  rename_local,                // a new unique name for the reference model's contents
  rename_check,                // the same for the check model (local conflicts only)
  replace_local_by_db,         // the reference model's contents by the database one
  replace_check_by_reference,  // local conflicts only
  replace_reference_by_check,  // local conflicts only
};
// :rename-local ... :replace-reference-by-check; nothing for another keyword.
std::optional<resolution> resolution_from_keyword(std::string_view name);

enum class resolution_result { none, rename, replace, reload };

// Chooses local_model (the first share of the first cluster other than the
// database one) and, for a conflict among local components, db_model (the
// first share of the second); prints both.
void ready_name_conflict_resolution(model_name_info& info, records::cluster_session& session);

// Starts Model Manager's comparison of the reference and the check model;
// a database model not in session is loaded for it first. After a failed
// name query there is no database model to load: nothing starts.
model_name_info& compare_name_doubles(model_name_info& info);

// Applies the resolution between two undo states, tells the host the tree
// changed and cleans the record; a reload only starts (the change arrives
// later and its completion does the rest). A resolution that does not fit
// the record, or that the host refuses, applies nothing: none.
resolution_result resolve_name_conflict(model_name_info& info, std::optional<resolution> how,
                                        records::cluster_session& session);

}  // namespace vtm::checkin
