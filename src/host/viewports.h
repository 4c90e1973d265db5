// The host's viewports: each draws a list of models of the session (all of
// them until a draw list is set) and can be fitted to what it draws.
// The session starts with the standard viewport "1", which is current.
#pragma once

#include <string>

#include "host/lisp/object.h"

namespace host::oli {
// The current viewport's name (a string).
host::lisp::ref sd_inq_current_vp();
}  // namespace host::oli

namespace host::elan_ui {
// Draws only the models at these paths (a list of model paths) in the
// viewport; NIL draws everything again. Signals the host's error for an
// unknown viewport or a path that is not in session.
void set_vp_drawlist(const host::lisp::ref& viewport, const host::lisp::ref& paths);
}  // namespace host::elan_ui

namespace host::frame2_ui {
// Fits the viewport's view to what it draws.
void fit_vp(const host::lisp::ref& viewport);
}  // namespace host::frame2_ui

namespace host::modelmanager {
// Deletes the viewports a comparison opened (one per compared model).
void db_compare_delete_viewports();
// Makes the standard viewport current again, drawing everything, fitted.
void db_compare_update_standard_viewport();
}  // namespace host::modelmanager
