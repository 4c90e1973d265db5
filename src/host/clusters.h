// Clusters (the contents of model instances) and their system ids.
//
// A cluster argument is an entity handle: an instance (parcel) or a shared
// contents; where a model path (elan::sel_item) is accepted as well, its item
// is meant. Entities that are no longer in session answer from the state they
// had when they left it.
#pragma once

#include <string>
#include <string_view>

#include "host/lisp/object.h"

namespace host::frame2 {
// The sysid of an entity; NIL for a value that is no entity.
host::lisp::ref inq_entity_sysid(const host::lisp::ref& entity);
// Gives the cluster a fresh sysid, unused in the session and in every earlier
// run; returns it.
host::lisp::ref set_cluster_sysids(const host::lisp::ref& cluster);

// The file name (name and type) the cluster is saved under; NIL when none
// was given, and then saving names the file by sysid and file type.
host::lisp::ref inquire_cluster_filename(const host::lisp::ref& cluster);
void set_cluster_filename(const host::lisp::ref& cluster, std::string_view file_name);

host::lisp::ref inquire_cluster_modification_time(const host::lisp::ref& cluster);  // a double
host::lisp::ref sd_inq_cluster_symbolic_version(const host::lisp::ref& cluster);    // string or NIL
host::lisp::ref sd_inq_cluster_symbolic_name(const host::lisp::ref& cluster);       // string or NIL
// An empty name removes the symbolic name.
void sd_set_cluster_symbolic_name(const host::lisp::ref& cluster, std::string_view name);

// A real cluster is filed on its own: every contents of type part_struct,
// asbm_struct, wp_struct or nwpset_struct unless its file says otherwise,
// and every top-level instance.
bool real_cluster_p(const host::lisp::ref& cluster);

// Database flags: a property list the Model Manager leaves on a cluster.
host::lisp::ref sd_inq_db_flags(const host::lisp::ref& cluster);
void sd_detach_db_flags(const host::lisp::ref& cluster);

bool inquire_cluster_modifiable(const host::lisp::ref& cluster);
void set_cluster_modifiable(const host::lisp::ref& cluster, bool modifiable);
bool inquire_cluster_modified(const host::lisp::ref& cluster);
void set_cluster_modified(const host::lisp::ref& cluster, bool modified);

// Load as version: a contents is a version, an original, or neither; a
// version may know its original, and both belong to a version group (a
// string, NIL outside any group).
bool sd_inq_cluster_is_version(const host::lisp::ref& cluster);
host::lisp::ref get_original_of_version(const host::lisp::ref& cluster);  // contents or NIL
void lav_make_original(const host::lisp::ref& cluster);
void lav_make_version(const host::lisp::ref& cluster);
host::lisp::ref get_lav_group(const host::lisp::ref& cluster);

// The contents a layout instance shows; NIL for an instance that is no layout.
host::lisp::ref global_master(const host::lisp::ref& instance);
}  // namespace host::frame2

namespace host::elan {
// Instance name for an instance, contents (model) name for a contents; NIL
// for a contents without name.
host::lisp::ref inquire_name(const host::lisp::ref& cluster);
// Renaming an instance to the name of a sibling signals the host's error.
void assign_name(const host::lisp::ref& cluster, std::string_view name);
// True for instance-level objects (subtypes of the host structure nparcel).
bool nparcel_p(const host::lisp::ref& entity);
}  // namespace host::elan

namespace host::dsm {
// The entity-type name: "nasmb3", "npart3", "nwp", "nwpset", "layout",
// "coord_sys" for instances; "asbm_struct", "part_struct", "wp_struct",
// "nwpset_struct" and others for contents; the feature name for features.
host::lisp::ref entity_name(const host::lisp::ref& entity);
}  // namespace host::dsm

namespace host::oli {
// Item attributes: by name, each with a property list of values. item is a
// model path, whose instance (attachment :instance) or contents (:contents,
// also for NIL) carries the attribute, or an entity, which carries it itself.
host::lisp::ref sd_inq_item_attribute(const host::lisp::ref& item, std::string_view name,
                                      const host::lisp::ref& attachment);  // the values or NIL
void sd_attach_item_attribute(const host::lisp::ref& item, std::string_view name,
                              const host::lisp::ref& values, const host::lisp::ref& attachment);
// True when the attribute was there. set_modified marks the carrier modified.
bool sd_detach_item_attribute(const host::lisp::ref& item, std::string_view name,
                              const host::lisp::ref& attachment, bool set_modified);
}  // namespace host::oli
