#include "records/contents_substitution.h"

#include "host/lisp/errors.h"
#include "records/cluster_session.h"
#include "records/model_tree.h"

namespace vtm::records {

namespace hl = host::lisp;

namespace {

constexpr bool load_as_version = true;

// One node of the clean-up scan; returns whether to descend.
bool normalize_version(const model_path& node, cluster_session& session) {
  const hl::ref contents = session.get_contents(node);
  if (!session.cluster_is_version(contents)) return true;
  const hl::ref original = session.original_of_version(contents);
  if (hl::is_nil(original)) {
    session.lav_make_original(contents, load_as_version);
    return true;
  }
  if (hl::is_nil(session.docelid_from_cluster(original))) {
    // Outside the database the original steps aside: it gets fresh sysids
    // and the version becomes an original.
    session.set_cluster_sysids(original);
    session.lav_make_original(contents, load_as_version);
    return true;
  }
  replace_by_original(node, original, session);
  return false;
}

}  // namespace

bool replace_contents(const model_path& target, const hl::ref& contents, cluster_session& session) {
  if (!session.substitute_contents(target, contents, true))
    hl::simple_error("Component substitution failed!");
  session.check_for_cyclic_cluster_structure(contents);
  session.finalize_reconnect_after_replace(contents);
  for_each_instance(
      target, [&](const model_path& node) { return normalize_version(node, session); }, session);
  session.note_state();
  session.signal_changed_parcel_tree_event();
  session.update_browser_if_needed("parcel-gbrowser");
  return true;
}

bool replace_by_original(const model_path& version, const hl::ref& original_contents,
                         cluster_session& session) {
  if (hl::is_nil(original_contents)) return false;
  const hl::ref version_contents = session.get_contents(version);
  session.lav_make_version(original_contents, load_as_version);
  session.lav_make_original(version_contents, load_as_version);
  bool replaced = false;
  if (hl::equal(session.lav_group(version_contents), session.lav_group(original_contents)) &&
      session.substitute_contents(version, original_contents, false)) {
    session.lav_make_original(original_contents, !load_as_version);
    session.check_for_cyclic_cluster_structure(original_contents);
    session.finalize_reconnect_after_replace(original_contents);
    replaced = true;
  }
  session.signal_changed_parcel_tree_event();
  return replaced;
}

}  // namespace vtm::records
