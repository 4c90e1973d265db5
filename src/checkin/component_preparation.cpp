#include "checkin/component_preparation.h"

#include <string_view>
#include <unordered_set>
#include <vector>

#include "host/clusters.h"
#include "host/features.h"
#include "host/lisp/packages.h"
#include "host/model_tree.h"
#include "records/change_records.h"
#include "records/cluster_files.h"
#include "records/cluster_session.h"
#include "records/contents_substitution.h"
#include "records/host_cluster_session.h"
#include "records/model_tree.h"

namespace vtm::checkin {

namespace hl = host::lisp;
using records::contents_info;

namespace {

hl::ref contents_keyword() { return hl::ref(&hl::keyword("CONTENTS")); }

hl::ref sel_item_of(const component_node& node) { return records::to_sel_item(node.location); }

hl::ref contents_of(const component_node& node) { return node.session.get_contents(node.location); }

records::cluster_composite_key composite_key_of(const hl::ref& cluster, const component_node& node) {
  return records::make_cluster_composite_key(cluster, node.session);
}

void log_change(const component_node& node, records::cluster_composite_key before,
                records::cluster_composite_key after, std::string_view reason) {
  if (const records::change_info* recorded = node.logger.changes().find(before))
    if (recorded->reason.name == "SYSID-CONFLICT") node.shadowed.try_emplace(before, *recorded);
  node.logger.log_component_change(records::share(node.location), std::move(before), std::move(after),
                                   core::keyword_name{std::string(reason)}, node.session);
}

// The given record with its key and file name read again from its cluster,
// or a new record of the node.
contents_info refreshed_or_new(const component_node& node, const std::optional<contents_info>& record) {
  if (!record) return records::make_contents_info(node.location, node.model, node.check, node.session);
  contents_info out = *record;
  const hl::ref cluster = out.sysid.handle();
  out.metakey = records::make_cluster_metakey(cluster, node.session);
  out.filename = records::make_cluster_filename(cluster, node.session);
  return out;
}

void detach_contents_attribute(const hl::ref& sel_item, std::string_view name) {
  host::oli::sd_detach_item_attribute(sel_item, name, contents_keyword(), false);
}

// The sysid a version with this key received when it became an original
// before, in this run or an earlier one: a rerun gives it the same again.
std::optional<std::string> original_sysid_given_before(const records::cluster_composite_key& key,
                                                       const records::change_records& logger) {
  const records::change_info* change = logger.changes().find(key);
  if (!change || change->reason.name != "VERSION->ORIGINAL") return std::nullopt;
  const auto* after = std::get_if<records::cluster_composite_key>(&change->key_after);
  return after ? after->sysid : std::nullopt;
}

constexpr std::string_view database_attributes[] = {"DB-PREF", "DB-DREF"};
constexpr std::string_view library_attributes[] = {"DB-PUPD", "DEFAULTATTR", "SOLLIB-INFO",
                                                   "PARTsolutions-attribute", "PARTsolutions-Negative"};

}  // namespace

void clean_for_staging(const component_node& node) {
  const hl::ref contents = contents_of(node);
  const hl::ref sel_item = sel_item_of(node);
  host::frame2::sd_detach_db_flags(contents);
  host::frame2::set_cluster_modifiable(contents, true);
  for (std::string_view name : database_attributes) detach_contents_attribute(sel_item, name);
  if (host::oli::sd_inq_obj_library_p(sel_item))
    for (std::string_view name : library_attributes) detach_contents_attribute(sel_item, name);
  host::frame2::sd_set_cluster_symbolic_name(contents, "");
}

std::optional<contents_info> version_step(const component_node& node, const component_map& map) {
  const hl::ref contents = contents_of(node);
  if (!node.session.cluster_is_version(contents)) return std::nullopt;
  const records::cluster_composite_key key = composite_key_of(contents, node);
  const hl::ref original = node.session.original_of_version(contents);
  if (!hl::is_nil(original)) {
    const core::plist diff = records::cluster_metakey_diff(key, composite_key_of(original, node));
    if (!diff.contains("TIMESTAMP") && !diff.contains("MODEL-NAME")) {
      records::replace_by_original(node.location, original, node.session);
      // The node now uses the original: its record lists this share too.
      contents_info record;
      if (const auto* scanned = map.find(original)) {
        record = std::get<contents_info>(*scanned);
        records::update_contents_info(record, node.model, node.location, node.session);
      } else {
        // Met first through its version: the original is cleaned as any
        // contents met the first time.
        clean_for_staging(node);
        record = records::make_contents_info(node.location, node.model, node.check, node.session);
      }
      log_change(node, key, records::contents_info_composite_key(record, node.session), "VERSION<-ORIGINAL");
      return record;
    }
  }
  records::component_record record =
      records::make_contents_info(node.location, node.model, node.check, node.session);
  records::change_component_info_sysid(record, original_sysid_given_before(key, node.logger),
                                       {"VERSION->ORIGINAL"}, node.logger, records::share(node.location),
                                       node.session);
  return std::get<contents_info>(std::move(record));
}

std::optional<contents_info> simplification_step(const component_node& node,
                                                 const std::optional<contents_info>& record) {
  const hl::ref contents = contents_of(node);
  const hl::ref sel_item = sel_item_of(node);
  const hl::ref instance = node.session.get_instance(node.location);
  std::optional<records::cluster_composite_key> key;
  if (host::oli::sd_inq_simplification_owner_p(sel_item)) {
    key = composite_key_of(contents, node);
    for (const hl::ref& feature : hl::list_to_vector(host::elan::search_features_by_component(contents)))
      if (hl::as_string(host::dsm::entity_name(feature)) == "SFY_CTRL_FEAT") host::dsm::destroy(feature);
    host::elan::sfy_detach_sfy_att(instance);
    host::oli::sd_set_inseparable(sel_item, true);
  } else if (host::elan::sfy_is_sfy_prcl(instance)) {
    host::elan::sfy_detach_sfy_att(instance);
    if (!host::oli::sd_inq_inseparable_p(sel_item)) {
      key = composite_key_of(contents, node);
      host::oli::sd_set_inseparable(sel_item, true);
    }
  }
  if (!key) return std::nullopt;
  contents_info out = refreshed_or_new(node, record);
  log_change(node, *key, records::contents_info_composite_key(out, node.session),
             "SIMPLIFICATION->INSEPARABLE");
  return out;
}

std::optional<contents_info> pcb_step(const component_node& node,
                                      const std::optional<contents_info>& record) {
  const hl::ref contents = contents_of(node);
  const hl::ref sel_item = sel_item_of(node);
  if (!host::oli::sd_detach_item_attribute(sel_item, "pcb-id", contents_keyword(), false))
    return std::nullopt;
  records::cluster_composite_key key = composite_key_of(contents, node);

  std::vector<hl::ref> coordinate_systems;
  std::unordered_set<const LAOBJ*> items;
  records::for_each_instance(
      node.location,
      [&](const records::model_path& at) {
        const hl::ref path = records::to_sel_item(at);
        if (!host::oli::sd_coord_sys_object_p(path)) return true;
        if (items.insert(at.item.value.get()).second) coordinate_systems.push_back(path);
        return false;
      },
      node.session);
  if (!coordinate_systems.empty()) {
    host::frame2::set_cluster_modified(contents, true);
    log_change(node, key, composite_key_of(contents, node), "DESTROY-PCB-COORDINATE-SYSTEM");
    host::elan::delete_3d(hl::list_from(coordinate_systems));
    key = composite_key_of(contents, node);
  }

  if (host::oli::sd_inq_inseparable_p(sel_item)) return std::nullopt;
  host::oli::sd_set_inseparable(sel_item, true);
  contents_info out = refreshed_or_new(node, record);
  log_change(node, key, records::contents_info_composite_key(out, node.session), "PCB->INSEPARABLE");
  return out;
}

}  // namespace vtm::checkin
