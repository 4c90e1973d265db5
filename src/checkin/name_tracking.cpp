#include "checkin/name_tracking.h"

#include "host/clusters.h"
#include "host/features.h"
#include "host/lisp/packages.h"
#include "host/model_tree.h"
#include "records/cluster_session.h"
#include "records/host_cluster_session.h"

namespace vtm::checkin {

namespace hl = host::lisp;

namespace {

hl::ref kw(std::string_view name) { return hl::ref(&hl::keyword(name)); }

hl::ref feature_members(const records::model_path& feature) {
  return host::elan::get_feature_sel_items(records::to_sel_item(feature), true);
}

}  // namespace

model_name_info& track_model_name_info(model_name_info& info) {
  for (cluster_shares_entry& e : info.cluster_shares) {
    if (e.tracking_feature || e.shares.empty()) continue;
    const hl::ref owner = hl::car(e.shares.front().path.value);
    const hl::ref feature = host::k2::make_thin_universal_feature_instance(
        owner,
        hl::list({kw("FILING"), kw("NONE"), kw(tracking_name_property), hl::make_string(info.model_name),
                  kw(tracking_type_property), hl::make_string(tracking_type)}));
    for (const records::model_path& share : e.shares)
      host::elan::add_thin_universal_feature_entities(feature, hl::list({e.cluster}), share.path.value);
    e.tracking_feature = records::model_path{{hl::list({owner})}, host::elan::s_feature, {feature}};
    e.shares.clear();
  }
  return info;
}

model_name_info& update_model_name_info(model_name_info& info, records::cluster_session& session) {
  std::vector<hl::ref> dead, doomed_features;
  for (const cluster_shares_entry& e : info.cluster_shares) {
    if (!e.tracking_feature) continue;
    if (hl::is_nil(feature_members(*e.tracking_feature))) {
      dead.push_back(e.cluster);
      doomed_features.push_back(e.tracking_feature->item.value);
    } else if (session.name(e.cluster) != info.model_name) {
      dead.push_back(e.cluster);
    }
  }
  const hl::ref db_contents = info.db_model ? session.get_contents(*info.db_model) : hl::nil();
  for (const hl::ref& cluster : dead) {
    std::erase_if(info.cluster_shares, [&](const cluster_shares_entry& e) { return e.cluster == cluster; });
    if (info.db_model && cluster == db_contents) info.db_model.reset();
  }
  for (const hl::ref& feature : doomed_features) host::dsm::destroy(feature);
  return info;
}

std::vector<records::model_path> model_name_info_shares_of_cluster(const model_name_info& info,
                                                                   const hl::ref& cluster) {
  std::vector<records::model_path> out;
  const cluster_shares_entry* e = info.entry_of(cluster);
  if (!e || !e->tracking_feature) return out;
  for (const hl::ref& member : hl::list_to_vector(feature_members(*e->tracking_feature))) {
    const hl::ref path = host::elan::sel_item_path(member);
    const hl::ref parcel = host::elan::convert_parcel(hl::list_to_vector(path).back());
    const hl::ref type = host::dsm::entity_name(parcel);
    const std::string t = hl::stringp(type) ? hl::as_string(type) : "";
    out.push_back({{path},
                   t == "npart3"   ? host::elan::s_part
                   : t == "nasmb3" ? host::elan::s_assembly
                                   : 0,
                   {parcel}});
  }
  return out;
}

}  // namespace vtm::checkin
