// The model tree of the session and positions in it.
//
// A model path is a structure elan::sel_item with the slots path, type and
// item: path is the list of instances from a top-level model down to the
// position, item the instance there (or a feature, for feature paths), type
// the selection type. The root path has path NIL and the session's root
// instance as item; its children are the top-level models. Positions inside
// a shared contents have one path per place the contents is used.
#pragma once

#include <cstdint>
#include <string_view>

#include "host/lisp/object.h"

namespace host::elan {
// Selection types of model paths; other positions have type 0.
constexpr std::int64_t s_part = 1;
constexpr std::int64_t s_assembly = 2;
constexpr std::int64_t s_feature = 3;

// The structure type ELAN::SEL_ITEM, for types that include it.
const host::lisp::struct_type& sel_item_struct();
host::lisp::ref make_sel_item(const host::lisp::ref& path, std::int64_t type, const host::lisp::ref& item);
bool sel_item_p(const host::lisp::ref& value);  // also for types that include it
host::lisp::ref sel_item_path(const host::lisp::ref& sel_item);
host::lisp::ref sel_item_type(const host::lisp::ref& sel_item);
host::lisp::ref sel_item_item(const host::lisp::ref& sel_item);

// The instance (parcel) a path element or model path stands for.
host::lisp::ref convert_parcel(const host::lisp::ref& object);
// The entity of a handle or model path.
host::lisp::ref convert_entity(const host::lisp::ref& object);

// Replaces the contents at target's position by contents: at every use of the
// old contents when substitute_all, else at target's instance only.
// set_modified marks the changed parents modified. A replacement that would
// make a contents contain itself is refused: false, with the host's error set.
bool substitute_contents(const host::lisp::ref& target, const host::lisp::ref& contents, bool substitute_all,
                         bool set_modified);
// Deletes a model path, a list of model paths, or with :all_at_top every
// top-level model. Paths no longer in session are passed over.
void delete_3d(const host::lisp::ref& what);
}  // namespace host::elan

namespace host::elan_ui {
host::lisp::ref get_root_sel_item();
}  // namespace host::elan_ui

namespace host::oli {
// The contents of a model path or instance (a contents is its own contents).
host::lisp::ref get_contents(const host::lisp::ref& object);
host::lisp::ref get_instance(const host::lisp::ref& sel_item);
// The parent's model path; NIL for a top-level model.
host::lisp::ref sd_inq_parent_obj(const host::lisp::ref& sel_item);
// Model paths of the children, in the order of the contents.
host::lisp::ref sd_inq_obj_children(const host::lisp::ref& sel_item);
// "/model/sub/part" from the instance names; "/" for the root. An instance
// handle is taken at its first position in the session.
host::lisp::ref sd_inq_obj_pathname(const host::lisp::ref& object);
// The model path of a path name; NIL when nothing in session has it.
host::lisp::ref sd_pathname_to_obj(std::string_view pathname);

// Properties of positions (model paths or instances).
bool sd_inq_obj_library_p(const host::lisp::ref& sel_item);
bool sd_coord_sys_object_p(const host::lisp::ref& sel_item);
// An inseparable contents is filed and managed with its children as one
// unit: its positions are inseparable, those below it inseparable
// children, and an inseparable position that is no child is a master.
bool sd_inq_inseparable_p(const host::lisp::ref& sel_item);
bool sd_inq_inseparable_child_p(const host::lisp::ref& sel_item);
bool sd_inq_inseparable_master_p(const host::lisp::ref& sel_item);
void sd_set_inseparable(const host::lisp::ref& sel_item, bool inseparable);
// A simplification owner is a position whose contents has a feature
// "SFY_CTRL_FEAT".
bool sd_inq_simplification_owner_p(const host::lisp::ref& sel_item);
}  // namespace host::oli

namespace host::elan {
// An instance carrying the simplification attribute is a simplification parcel.
bool sfy_is_sfy_prcl(const host::lisp::ref& instance);
void sfy_detach_sfy_att(const host::lisp::ref& instance);
}  // namespace host::elan

namespace host::frame2 {
// Signals the host's error when the structure below contents contains a
// contents inside itself; true otherwise.
bool check_for_cyclic_cluster_structure(const host::lisp::ref& contents);
// After a substitution by contents: layouts that showed a replaced contents
// now show contents.
void finalize_reconnect_after_replace(const host::lisp::ref& contents);
}  // namespace host::frame2
