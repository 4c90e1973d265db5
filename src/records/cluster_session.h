// What the records need of the host's CAD session: queries and changes of
// single clusters. The records never walk the model tree themselves.
//
// The module's records are written against this interface so that they can
// be built and tested without a session; the implementation over the host's
// cluster operations comes with the model-tree services.
#pragma once

#include <optional>
#include <string>

#include "host/lisp/object.h"
#include "records/cluster_keys.h"

namespace vtm::records {

class cluster_session {
 public:
  virtual ~cluster_session() = default;

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
  // frame2::lav-make-original
  virtual void lav_make_original(const host::lisp::ref& cluster) = 0;
  // oli::sd-inq-obj-pathname of the model position
  virtual std::string obj_pathname(const extended_location& location) = 0;
};

}  // namespace vtm::records
