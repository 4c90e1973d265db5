// Putting one contents in place of another, as merging duplicates needs:
// the substitution itself and the load-as-version clean-up after it.
#pragma once

#include "host/lisp/object.h"
#include "records/cluster_keys.h"

namespace vtm::records {

class cluster_session;

// Substitutes contents at every use of target's contents, then makes every
// version in the new subtree an original or replaces it by its original
// when that is in Model Manager, and tells the host the tree changed.
// Signals "Component substitution failed!" when the host refuses; what was
// changed by then stays changed.
bool replace_contents(const model_path& target, const host::lisp::ref& contents, cluster_session& session);

// Puts original_contents back in place of the version at `version`, when
// both belong to one version group. The caller has checked that both carry
// equal metakeys. Nothing happens without an original; false then.
bool replace_by_original(const model_path& version, const host::lisp::ref& original_contents,
                         cluster_session& session);

}  // namespace vtm::records
