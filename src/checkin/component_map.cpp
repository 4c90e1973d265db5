#include "checkin/component_map.h"

#include "checkin/component_preparation.h"
#include "host/clusters.h"
#include "host/model_tree.h"
#include "records/cluster_session.h"
#include "records/host_cluster_session.h"
#include "records/model_tree.h"

namespace vtm::checkin {

namespace hl = host::lisp;
using records::contents_info;

namespace {

// The record of one position of a model; answers whether to descend.
bool add_component(const component_node& node, component_map& map) {
  records::cluster_session& session = node.session;

  // A layout shows its master, whose record learns the instance above the
  // layout as an owner. A master not scanned yet has no record to learn it.
  const hl::ref instance = session.get_instance(node.location);
  const hl::ref master = host::frame2::global_master(instance);
  if (!hl::is_nil(master)) {
    auto* record = map.find(master);
    auto* contents = record ? std::get_if<contents_info>(record) : nullptr;
    if (contents)
      if (std::optional<records::model_path> parent = session.parent_obj(node.location))
        contents->layout_owner_sysids.push_front(
            records::sysid_value::of_entity(session.get_instance(*parent)));
    return true;
  }

  const hl::ref c = session.get_contents(node.location);
  if (!session.real_cluster_p(c)) return false;
  if (auto* known = map.find(c)) {
    records::update_contents_info(std::get<contents_info>(*known), node.model, node.location, session);
    return true;
  }

  clean_for_staging(node);
  bool descend = true;
  std::optional<contents_info> record = version_step(node, map);
  // An original scanned before is not scanned again.
  if (record && map.find(record->sysid.handle())) descend = false;
  if (descend) {
    if (auto simplified = simplification_step(node, record)) {
      record = std::move(simplified);
      descend = false;
    }
    if (auto board = pcb_step(node, record)) {
      record = std::move(board);
      descend = true;
    }
  }
  if (!record) record = records::make_contents_info(node.location, node.model, node.check, session);

  const hl::ref handle = record->sysid.handle();
  map.insert_or_assign(handle, std::move(*record));
  const hl::ref parent = records::get_real_parent_cluster(node.location, session);
  if (auto* parent_record = map.find(parent))
    records::component_base(*parent_record).child_sysids.push_front(records::sysid_value::of_entity(handle));
  return descend;
}

}  // namespace

std::string location_prefix(const std::filesystem::path& sourcepath) { return sourcepath.generic_string(); }

component_map make_component_map(const std::filesystem::path& sourcepath, const records::part_check& check,
                                 records::change_records& logger, records::cluster_session& session,
                                 shadowed_conflicts& shadowed) {
  const std::string prefix = location_prefix(sourcepath);
  component_map map;
  const records::model_path root = records::from_sel_item(host::elan_ui::get_root_sel_item());
  for (const records::model_path& top : session.obj_children(root)) {
    const records::extended_location top_location = records::make_extended_location(prefix, top);
    const hl::ref instance = top.item.value;
    const auto& model = std::get<records::instance_info>(
        map.insert_or_assign(instance, records::make_instance_info(top_location, sourcepath, session)));
    records::for_each_instance(
        top,
        [&](const records::model_path& at) {
          const records::extended_location location = records::make_extended_location(prefix, at);
          return add_component({location, model, check, logger, session, shadowed}, map);
        },
        session);
  }
  return map;
}

}  // namespace vtm::checkin
