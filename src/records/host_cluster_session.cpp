#include "records/host_cluster_session.h"

#include "frame/sysid.h"
#include "host/browser.h"
#include "host/clusters.h"
#include "host/events.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/model_tree.h"
#include "host/modelmanager.h"
#include "host/native.h"
#include "host/undo.h"

namespace vtm::records {

namespace hl = host::lisp;

namespace {

std::optional<std::string> optional_string(const hl::ref& value) {
  if (hl::is_nil(value)) return std::nullopt;
  return hl::as_string(value);
}

hl::ref contents_keyword() { return hl::ref(&hl::keyword("CONTENTS")); }

}  // namespace

hl::ref to_sel_item(const model_path& path) {
  return host::elan::make_sel_item(path.path.value, path.type, path.item.value);
}

model_path from_sel_item(const hl::ref& sel_item) {
  return {{host::elan::sel_item_path(sel_item)},
          hl::as_integer(host::elan::sel_item_type(sel_item)),
          {host::elan::sel_item_item(sel_item)}};
}

std::string host_cluster_session::sysid(const hl::ref& entity) {
  const hl::ref sysid = host::frame2::inq_entity_sysid(entity);
  if (!hl::stringp(sysid)) hl::type_error(entity, "DSM::ENTITY");
  return hl::as_string(sysid);
}

std::string host_cluster_session::entity_type_name(const hl::ref& entity) {
  return hl::as_string(host::dsm::entity_name(entity));
}

bool host_cluster_session::instance_level_p(const hl::ref& entity) { return host::elan::nparcel_p(entity); }

std::string host_cluster_session::name(const hl::ref& cluster) {
  return optional_string(host::elan::inquire_name(cluster)).value_or("");
}

void host_cluster_session::assign_name(const hl::ref& cluster, const std::string& name) {
  host::elan::assign_name(cluster, name);
}

double host_cluster_session::modification_time(const hl::ref& cluster) {
  return hl::as_number(host::frame2::inquire_cluster_modification_time(cluster));
}

std::optional<std::string> host_cluster_session::symbolic_version(const hl::ref& cluster) {
  return optional_string(host::frame2::sd_inq_cluster_symbolic_version(cluster));
}

std::optional<std::string> host_cluster_session::symbolic_name(const hl::ref& cluster) {
  return optional_string(host::frame2::sd_inq_cluster_symbolic_name(cluster));
}

void host_cluster_session::set_sysid(const hl::ref& cluster, const std::string& sysid) {
  set_entity_sysid(cluster.get(), hl::widen(sysid));
}

void host_cluster_session::set_cluster_sysids(const hl::ref& cluster) {
  host::frame2::set_cluster_sysids(cluster);
}

void host_cluster_session::set_cluster_filename(const hl::ref& cluster, const std::string& file_namestring) {
  host::frame2::set_cluster_filename(cluster, file_namestring);
}

bool host_cluster_session::real_cluster_p(const hl::ref& cluster) {
  return host::frame2::real_cluster_p(cluster);
}

// The host's interface has one way to make an original or a version; the
// :load-as-version mode is the one it uses.
void host_cluster_session::lav_make_original(const hl::ref& cluster, bool) {
  host::frame2::lav_make_original(cluster);
}

void host_cluster_session::lav_make_version(const hl::ref& cluster, bool) {
  host::frame2::lav_make_version(cluster);
}

bool host_cluster_session::cluster_is_version(const hl::ref& cluster) {
  return host::frame2::sd_inq_cluster_is_version(cluster);
}

hl::ref host_cluster_session::original_of_version(const hl::ref& cluster) {
  return host::frame2::get_original_of_version(cluster);
}

hl::ref host_cluster_session::lav_group(const hl::ref& cluster) {
  return host::frame2::get_lav_group(cluster);
}

hl::ref host_cluster_session::docelid_from_cluster(const hl::ref& cluster) {
  return host::modelmanager::get_docelid_from_cluster(cluster);
}

std::vector<model_path> host_cluster_session::obj_children(const model_path& node) {
  std::vector<model_path> out;
  for (const hl::ref& child : hl::list_to_vector(host::oli::sd_inq_obj_children(to_sel_item(node))))
    out.push_back(from_sel_item(child));
  return out;
}

std::optional<model_path> host_cluster_session::parent_obj(const model_path& node) {
  const hl::ref parent = host::oli::sd_inq_parent_obj(to_sel_item(node));
  if (hl::is_nil(parent)) return std::nullopt;
  return from_sel_item(parent);
}

hl::ref host_cluster_session::get_contents(const model_path& node) {
  return host::oli::get_contents(to_sel_item(node));
}

hl::ref host_cluster_session::get_instance(const model_path& node) {
  return host::oli::get_instance(to_sel_item(node));
}

std::string host_cluster_session::obj_pathname(const model_path& node) {
  return hl::as_string(host::oli::sd_inq_obj_pathname(to_sel_item(node)));
}

hl::ref host_cluster_session::contents_attribute_values(const model_path& node, std::string_view attribute) {
  return host::oli::sd_inq_item_attribute(to_sel_item(node), attribute, contents_keyword());
}

bool host_cluster_session::inseparable_child_p(const model_path& node) {
  return host::oli::sd_inq_inseparable_child_p(to_sel_item(node));
}

bool host_cluster_session::inseparable_master_p(const model_path& node) {
  return host::oli::sd_inq_inseparable_master_p(to_sel_item(node));
}

bool host_cluster_session::substitute_contents(const model_path& target, const hl::ref& contents,
                                               bool set_modified) {
  return host::elan::substitute_contents(to_sel_item(target), contents, true, set_modified);
}

void host_cluster_session::check_for_cyclic_cluster_structure(const hl::ref& contents) {
  host::frame2::check_for_cyclic_cluster_structure(contents);
}

void host_cluster_session::finalize_reconnect_after_replace(const hl::ref& contents) {
  host::frame2::finalize_reconnect_after_replace(contents);
}

void host_cluster_session::note_state() { host::dsm::note_state(host::k2::k2_state_manager()); }

void host_cluster_session::signal_changed_parcel_tree_event() {
  host::event::process_event(host::event::changed_parcel_tree_event());
}

void host_cluster_session::update_browser_if_needed(std::string_view browser) {
  host::g_browser::update_browser_if_needed(std::string(browser), true);
}

}  // namespace vtm::records
