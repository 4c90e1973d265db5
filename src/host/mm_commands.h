// Model Manager commands that work on the database and the session:
// loading a stored model, reloading a component from the database, and the
// database reference a component loaded from it carries.
#pragma once

#include <string_view>
#include <vector>

#include "host/lisp/object.h"

namespace host::modelmanager {

// Sends Model Manager a command line; it runs after the command running now
// (through the host's command queue) and tells its completion through the
// host's events. Known commands, arguments in single quotes:
//   LOAD 'elid' 'callback form' 'false' 'load type' 'LOAD_AS_VERSION' 'DO_NOT_APPLY_LOAD_AND_POSITION'
//     loads the stored model, sets common-lisp-user::*db-aip-ui-last-load-result*
//     to the model paths it added and evaluates the callback form;
//   RELOAD 'pathname' 'elid' 'false' 'false' 'CONTENTS'
//     puts the stored model's contents in place of the contents at pathname.
// A command it does not know, or malformed arguments, signal the host's
// error at once; a command that fails when it runs prints its error.
void mm_send_cmd(std::string_view command);

// The element id of the stored document the contents at a model path (or an
// instance) comes from; NIL until a reload or load from the database has
// given it one.
host::lisp::ref get_docelid_from_object(const host::lisp::ref& object);

// The values of a user-defined attribute of a cluster, as a list whose first
// element is the property list of the requested keys with their values
// (e.g. "DB-DREF" with :elid and :unique_id_string); NIL when the cluster
// carries no such attribute.
host::lisp::ref sd_db_get_uda_contents_by_name(const host::lisp::ref& cluster, std::string_view attribute,
                                               const std::vector<host::lisp::ref>& keys);

}  // namespace host::modelmanager
