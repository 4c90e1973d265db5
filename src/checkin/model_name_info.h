// What one model name of the model in session stands for: the distinct
// contents (clusters) that carry it and where each is used, what Model
// Manager knows of the name, and the two components paired for resolving
// its conflict.
//
// The reference model is always a local component of the conflict; the
// check model the other party: the database component in session, or a
// second local component.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/lisp/object.h"
#include "records/cluster_keys.h"
#include "records/front_list.h"

namespace vtm::records {
class cluster_session;
}

namespace vtm::checkin {

// One cluster carrying the name. While the model is scanned its shares are
// collected (the newest first, as the scan pushes them); once tracked, a
// tracking feature follows them and tracking_feature designates it.
struct cluster_shares_entry {
  host::lisp::ref cluster;
  records::front_list<records::model_path> shares;
  std::optional<records::model_path> tracking_feature;
};

struct model_name_info {
  std::string model_name;
  // The database object's element id; the query's error message when the
  // query failed (the name then counts as conflicting).
  std::optional<std::string> elid;
  // elid holds the message of a failed query, not an element id: nothing may
  // be loaded or reloaded from the database by it.
  bool query_failed = false;
  std::optional<std::string> elid_text;
  std::optional<records::model_path> local_model;  // the reference model
  std::optional<records::model_path> db_model;     // the check model in session
  std::optional<std::string> db_model_type;
  std::optional<std::string> db_model_state;
  // One entry per distinct cluster, in the order they were found.
  std::vector<cluster_shares_entry> cluster_shares;

  cluster_shares_entry* entry_of(const host::lisp::ref& cluster);
  const cluster_shares_entry* entry_of(const host::lisp::ref& cluster) const {
    return const_cast<model_name_info*>(this)->entry_of(cluster);
  }
  cluster_shares_entry& add_share(const host::lisp::ref& cluster, const records::model_path& share);
};

// Fills the database slots from the name query: the cached answer unless
// cached is false.
model_name_info& query_model_name_info(model_name_info& info, bool cached = true);

// Clusters in session carrying the name, not counting the database
// component in session.
int name_double_count(const model_name_info& info, records::cluster_session& session);
// Two or more local clusters, or a database object and at least one local
// cluster other than the database one in session.
bool name_has_doubles_p(const model_name_info& info, records::cluster_session& session);

// The first share of an entry: the first member of its tracking feature
// once tracked; nothing when none is left.
std::optional<records::model_path> first_share(const model_name_info& info,
                                               const cluster_shares_entry& entry);

// The position to show for the name: the reference model when chosen, else
// the first share of the first cluster.
std::optional<records::model_path> model_name_info_selitem(const model_name_info& info);

// (:model-name ... :model-type ... :elid ... :elid-text ... :db-model ...
//  :db-model-state ... :db-model-type ... :local_model ... :cluster-shares ...)
host::lisp::ref model_name_info_plist(const model_name_info& info);

}  // namespace vtm::checkin
