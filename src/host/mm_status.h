// Model Manager's view of the objects in session: whether each is stored,
// up to date or in conflict with the database, and the refresh that finds
// out.
//
// A status is known only after a refresh has looked the object up in the
// database; an object loaded or created since has none until the next one.
#pragma once

#include "host/lisp/object.h"

namespace host::modelmanager {

// The status of the contents of object (a model path or an instance):
//   NIL                    unknown: no refresh has seen it yet
//   :not-stored            the database has no model under its sysid
//   :up-to-date            stored under its sysid with the same name and
//                          time stamp
//   :newer-version-exists  stored under its sysid with a newer time stamp
//   :modified              stored under its sysid with an older time stamp:
//                          the session holds changes not yet stored
//   :sysid-conflict        a different model (another name) is stored under
//                          its sysid
// The latest stored model of that sysid counts.
host::lisp::ref get_mmstatus_from_object(const host::lisp::ref& object);

// Starts the refresh of the status of everything in session (:all_items t)
// and returns at once. After the command running now the host computes the
// statuses and raises event::*browser-update-event*.
void ndm_refresh_status();

}  // namespace host::modelmanager
