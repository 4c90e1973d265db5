// The host's Annotation module: its drawings, their views and 3D owners,
// and the host modules and applications around it.
//
// The session holds at most one drawing. A drawing has a number and 2D
// views; a view of an Annotation drawing is derived from a 3D instance, its
// owner. Drawing commands need the module "ANNOTATION" active; like every
// host command they return T or set the host's error state and signal (see
// command_errors.h). A model checkpoint does not cover the drawing.
#pragma once

#include <string_view>
#include <vector>

#include "host/lisp/object.h"

namespace host::docu {
// Loads an MI (plain drafting) or Annotation drawing file as the session's
// drawing, replacing the one there. Views are linked to the instances in
// session that have their owners' sysids. When the drawing has import
// warnings the import writes them to the log file "log" (no type) in the
// current working directory, and with enable_warning also shows each one.
host::lisp::ref am_load_any_mi(std::string_view file, bool enable_warning);
// Annotation drawings only.
host::lisp::ref am_load_drawing(std::string_view file);
// Writes the session's drawing, its owners under their current sysids; an
// existing file is an error unless overwrite.
host::lisp::ref am_store_drawing(std::string_view file, bool overwrite);
// Deletes every drawing in session without asking (:dwg :yes).
void am_drawing_delete();
// Updates all views from the 3D model in session (:update_whole_drawing):
// a view whose owner is not in session is linked to an instance in session
// with the owner's sysid, if there is one.
void am_view_update();
// The ids of the drawing's 2D views (strings), in drawing order.
host::lisp::ref docu_get_view2d_name_ids_on_drw();
// The view with that id, a host handle; NIL when the drawing has none.
host::lisp::ref docu_select_by_unique_part_id(const host::lisp::ref& id);
}  // namespace host::docu

namespace host::elan {
// The 3D counterpart of a view: the model path of its owner instance in
// session, NIL when the owner is not in session (a stale view) or the view
// has none.
host::lisp::ref convert_docu_view_to_elan_view(const host::lisp::ref& view);
}  // namespace host::elan

namespace host::oli {
// The number of the session's drawing (a string), NIL without a drawing.
host::lisp::ref sd_am_inq_drawing_no();
// One entry per view with a 3D owner, in drawing order:
// (view-id owner-sysid owner), the owner's current instance sysid second and
// the owner's model path third (NIL when it is not in session).
host::lisp::ref sd_am_inq_all_3d_owners();

// The host's application: "SolidDesigner" (3D modeling) or "Annotation",
// which needs its module active.
void sd_switch_application(std::string_view application);
host::lisp::ref sd_inq_current_application();
// Host modules by name ("ANNOTATION"): deactivating Annotation deletes the
// drawing and returns to "SolidDesigner".
void sd_activate_module(std::string_view module);
void sd_deactivate_module(std::string_view module);
}  // namespace host::oli

namespace host::pers {
// Whether the host module is active; "ANNOTATION" is by default.
bool check_module(std::string_view module);
}  // namespace host::pers

namespace host::ui {
// Resets the session when the question is answered yes: every 3D model and
// the drawing are deleted and the application is "SolidDesigner" again.
// Answers whether it did.
bool uic_reset_session(bool yes);
}  // namespace host::ui
