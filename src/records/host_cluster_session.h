// The records' view of the host's CAD session, over the host's cluster and
// model-tree operations.
#pragma once

#include "records/cluster_session.h"

namespace vtm::records {

class host_cluster_session : public cluster_session {
 public:
  std::string sysid(const host::lisp::ref& entity) override;
  std::string entity_type_name(const host::lisp::ref& entity) override;
  bool instance_level_p(const host::lisp::ref& entity) override;
  std::string name(const host::lisp::ref& cluster) override;
  void assign_name(const host::lisp::ref& cluster, const std::string& name) override;
  double modification_time(const host::lisp::ref& cluster) override;
  std::optional<std::string> symbolic_version(const host::lisp::ref& cluster) override;
  std::optional<std::string> symbolic_name(const host::lisp::ref& cluster) override;
  void set_sysid(const host::lisp::ref& cluster, const std::string& sysid) override;
  void set_cluster_sysids(const host::lisp::ref& cluster) override;
  void set_cluster_filename(const host::lisp::ref& cluster, const std::string& file_namestring) override;
  bool real_cluster_p(const host::lisp::ref& cluster) override;
  void lav_make_original(const host::lisp::ref& cluster, bool load_as_version) override;
  void lav_make_version(const host::lisp::ref& cluster, bool load_as_version) override;
  bool cluster_is_version(const host::lisp::ref& cluster) override;
  host::lisp::ref original_of_version(const host::lisp::ref& cluster) override;
  host::lisp::ref lav_group(const host::lisp::ref& cluster) override;
  host::lisp::ref docelid_from_cluster(const host::lisp::ref& cluster) override;
  std::vector<model_path> obj_children(const model_path& node) override;
  std::optional<model_path> parent_obj(const model_path& node) override;
  host::lisp::ref get_contents(const model_path& node) override;
  host::lisp::ref get_instance(const model_path& node) override;
  std::string obj_pathname(const model_path& node) override;
  host::lisp::ref contents_attribute_values(const model_path& node, std::string_view attribute) override;
  bool inseparable_child_p(const model_path& node) override;
  bool inseparable_master_p(const model_path& node) override;
  bool substitute_contents(const model_path& target, const host::lisp::ref& contents,
                           bool set_modified) override;
  void check_for_cyclic_cluster_structure(const host::lisp::ref& contents) override;
  void finalize_reconnect_after_replace(const host::lisp::ref& contents) override;
  void note_state() override;
  void signal_changed_parcel_tree_event() override;
  void update_browser_if_needed(std::string_view browser) override;
};

// model_path <-> the host's elan::sel_item.
host::lisp::ref to_sel_item(const model_path& path);
model_path from_sel_item(const host::lisp::ref& sel_item);

}  // namespace vtm::records
