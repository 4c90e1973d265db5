// What the records need of the host's CAD session: queries and changes of
// clusters, and the model tree around a position.
//
// The records are written against this interface so that they build and are
// tested without a session; the implementation over the host's cluster and
// model-tree operations comes with the session. Each member names the host
// operation it stands for. Model positions cross as model_path values; an
// extended location is a model path (its prefix means nothing to the host).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/lisp/object.h"
#include "records/cluster_keys.h"

namespace vtm::records {

class cluster_session {
 public:
  virtual ~cluster_session() = default;

  // --- Clusters -------------------------------------------------------------

  // frame2::inq-entity-sysid
  virtual std::string sysid(const host::lisp::ref& entity) = 0;
  // dsm::entity-name: "part_struct", "nasmb3", ...
  virtual std::string entity_type_name(const host::lisp::ref& entity) = 0;
  // Whether the entity is an instance-level object (a subtype of elan::nparcel).
  virtual bool instance_level_p(const host::lisp::ref& entity) = 0;
  // elan::inquire_name and elan::assign_name
  virtual std::string name(const host::lisp::ref& cluster) = 0;
  virtual void assign_name(const host::lisp::ref& cluster, const std::string& name) = 0;
  // frame2::inquire-cluster-modification-time
  virtual double modification_time(const host::lisp::ref& cluster) = 0;
  // frame2::sd-inq-cluster-symbolic-version and -symbolic-name
  virtual std::optional<std::string> symbolic_version(const host::lisp::ref& cluster) = 0;
  virtual std::optional<std::string> symbolic_name(const host::lisp::ref& cluster) = 0;
  // set-entity-sysid with :sysid
  virtual void set_sysid(const host::lisp::ref& cluster, const std::string& sysid) = 0;
  // frame2::set-cluster-sysids: the host gives the cluster fresh sysids.
  virtual void set_cluster_sysids(const host::lisp::ref& cluster) = 0;
  // frame2::set-cluster-filename with a file namestring
  virtual void set_cluster_filename(const host::lisp::ref& cluster, const std::string& file_namestring) = 0;
  // Whether the cluster is filed on its own (a real cluster).
  virtual bool real_cluster_p(const host::lisp::ref& cluster) = 0;

  // --- Load as version --------------------------------------------------------

  // frame2::lav-make-original and frame2::lav-make-version; with
  // load_as_version they get the mode :load-as-version, else no mode.
  virtual void lav_make_original(const host::lisp::ref& cluster, bool load_as_version) = 0;
  virtual void lav_make_version(const host::lisp::ref& cluster, bool load_as_version) = 0;
  // frame2::sd-inq-cluster-is-version
  virtual bool cluster_is_version(const host::lisp::ref& cluster) = 0;
  // frame2::get-original-of-version: the original contents or NIL.
  virtual host::lisp::ref original_of_version(const host::lisp::ref& cluster) = 0;
  // frame2::get-lav-group: the version group, compared with equal; NIL outside any.
  virtual host::lisp::ref lav_group(const host::lisp::ref& cluster) = 0;
  // modelmanager::get-docelid-from-cluster: NIL when the cluster is not in Model Manager.
  virtual host::lisp::ref docelid_from_cluster(const host::lisp::ref& cluster) = 0;

  // --- Model tree -------------------------------------------------------------

  // oli::sd-inq-obj-children, in the host's order.
  virtual std::vector<model_path> obj_children(const model_path& node) = 0;
  // oli::sd-inq-parent-obj; nothing for a top-level model.
  virtual std::optional<model_path> parent_obj(const model_path& node) = 0;
  // oli::get-contents and oli::get-instance of a position.
  virtual host::lisp::ref get_contents(const model_path& node) = 0;
  virtual host::lisp::ref get_instance(const model_path& node) = 0;
  // oli::sd-inq-obj-pathname of the position.
  virtual std::string obj_pathname(const model_path& node) = 0;
  // oli::sd-inq-item-attribute node name :values :attachment :contents; NIL when absent.
  virtual host::lisp::ref contents_attribute_values(const model_path& node, std::string_view attribute) = 0;
  // oli::sd-inq-inseparable-child-p and oli::sd-inq-inseparable-master-p
  virtual bool inseparable_child_p(const model_path& node) = 0;
  virtual bool inseparable_master_p(const model_path& node) = 0;

  // --- Replacing contents -------------------------------------------------------

  // elan::substitute_contents target contents :substitute-all t
  // :set_modified set_modified :context :oref-replace; false when the host
  // reports failure.
  virtual bool substitute_contents(const model_path& target, const host::lisp::ref& contents,
                                   bool set_modified) = 0;
  // frame2::check-for-cyclic-cluster-structure and
  // frame2::finalize-reconnect-after-replace on a substituted contents.
  virtual void check_for_cyclic_cluster_structure(const host::lisp::ref& contents) = 0;
  virtual void finalize_reconnect_after_replace(const host::lisp::ref& contents) = 0;
  // What follows a change of the model tree: dsm::note-state on the host's
  // state manager, event::*changed-parcel-tree-event*, and
  // g-browser::update-browser-if-needed of a browser with :refresh t.
  virtual void note_state() = 0;
  virtual void signal_changed_parcel_tree_event() = 0;
  virtual void update_browser_if_needed(std::string_view browser) = 0;
};

}  // namespace vtm::records
