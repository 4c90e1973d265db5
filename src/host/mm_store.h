// Storing into Model Manager: the models of a model in session and the
// Annotation drawing in session.
#pragma once

#include "host/lisp/object.h"

namespace host::modelmanager {

// Opens Model Manager's store dialog for the modified models of object (a
// model path or an instance): every distinct contents in its tree that is
// filed on its own (and the model's own) whose status is not :up-to-date or
// :newer-version-exists. The dialog starts
// after the command running now and so ends the dialog that runs then. Its
// OK (`complete`) stores the models after the command running now: each
// gets an element id, a state, a unique id and a create date in the
// database and a stored file that loads and reloads read, its contents in
// session carry the element id (see get_docelid_from_object) and are no
// longer modified, the statuses are
// refreshed, and event::*browser-update-event* is raised. A model whose
// sysid the database holds for another model stops the store (nothing is
// stored) with a message. `cancel` stores nothing. Signals the host's error
// when object is no model in session.
void ndm_store_modified(const host::lisp::ref& object);

// Stores the Annotation drawing in session at once, linked to the element
// ids of the stored 3D models its views show; then the dialog running now
// ends after its current input, as when the host switches to Model
// Manager's own window. Signals the host's error without a drawing.
void ndm_am_store();

// (part-elids doc-elids) of the drawing in session: the element ids of the
// stored models its views show, and the element ids of the drawing's own
// stored documents; both empty until it is stored, NIL without a drawing.
host::lisp::ref db_get_part_and_doc_elids_of_loaded_dwg();

}  // namespace host::modelmanager
