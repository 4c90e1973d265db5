// Walking the model tree around a position: the depth-first scan, the
// filing cluster above a position, and how two positions are related.
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "host/lisp/object.h"
#include "records/cluster_keys.h"

namespace vtm::records {

class cluster_session;

// Visits root and the positions below it depth first, pre-order: a node's
// whole subtree before its next sibling, children in the host's order. fnc
// returns whether to descend into the node's children. An error fnc signals
// ends the scan with the error of the resource :model-scanning-error-fmt,
// whose text shows the original error. The model must not change meanwhile.
void for_each_instance(const model_path& root, const std::function<bool(const model_path&)>& fnc,
                       cluster_session& session);

// The contents of the nearest ancestor whose contents is a real (filing)
// cluster; the instance of selitem itself when no ancestor qualifies.
host::lisp::ref get_real_parent_cluster(const model_path& selitem, cluster_session& session);

// (parent, child) when one position lies on the other's path, judged by the
// instances of their paths; nothing for equal paths or unrelated positions.
std::optional<std::pair<model_path, model_path>> get_parent_child_relationship(const model_path& selitem1,
                                                                               const model_path& selitem2);

}  // namespace vtm::records
