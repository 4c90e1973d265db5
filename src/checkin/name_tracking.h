// Following the shares of conflicting clusters while the user edits the
// model: one tracking feature per cluster, a thin universal feature owned by
// the top-level model, never filed, with every share as a member. The host
// keeps the members up to date, so the feature tells which shares are left.
#pragma once

#include <vector>

#include "checkin/model_name_info.h"

namespace vtm::checkin {

// Properties of a tracking feature.
inline constexpr std::string_view tracking_name_property = "VT-MODEL-NAME";
inline constexpr std::string_view tracking_type_property = "VT-TYPE";
inline constexpr std::string_view tracking_type = "SHARES";

// Gives every untracked cluster of the record its tracking feature.
model_name_info& track_model_name_info(model_name_info& info);

// After model changes: drops the clusters that were renamed or have no
// share left (destroying the features of the latter) and forgets the check
// model when its cluster was dropped. The record may no longer conflict.
model_name_info& update_model_name_info(model_name_info& info, records::cluster_session& session);

// The current shares of a tracked cluster as part or assembly positions;
// empty when the cluster is not recorded or has no share left.
std::vector<records::model_path> model_name_info_shares_of_cluster(const model_name_info& info,
                                                                   const host::lisp::ref& cluster);

}  // namespace vtm::checkin
