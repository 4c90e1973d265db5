// The drawing phase of the assisted check-in: after its model is checked
// in, each queued Annotation drawing of the model is loaded, its stale
// views counted, and it is stored in Model Manager; the result goes to
// the analytics file.
#pragma once

#include <string>

#include "checkin/check_in_context.h"
#include "host/dialogs.h"

namespace vtm::checkin {

// The Lisp handler MM-SAVE-DWG-HANDLER.
void define_drawing_checkin();

// Loads the staged drawing (relative to the staging directory) as the only
// drawing in session; its queue entry, or null when it failed to load.
drawing_status_ptr load_drawing(const std::string& path);

// Views of the drawing in session without a 3D counterpart in session.
int stale_view_count();

void on_drawing_count(host::dialogs::dialog_context& dialog, const host::lisp::ref& value);
void on_staged_dwg(host::dialogs::dialog_context& dialog, const host::lisp::ref& value);
void on_current_drawing(host::dialogs::dialog_context& dialog, const host::lisp::ref& value);
void on_stale_views(host::dialogs::dialog_context& dialog, const host::lisp::ref& value);
void check_in_drawing(host::dialogs::dialog_context& dialog);
void on_db_finish_dwg_checkin(host::dialogs::dialog_context& dialog, const host::lisp::ref& value);
// The dialog's cleanup: queues the completion of a drawing check-in once
// the drawing is stored.
void complete_drawing_check_in();

// The drawing phase of a model just checked in.
void enter_drawing_phase(host::dialogs::dialog_context& dialog, const check_in_context& context);

}  // namespace vtm::checkin
