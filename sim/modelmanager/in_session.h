// What Model Manager leaves on the clusters in session, and the statuses it
// knows of them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/lisp/object.h"
#include "modelmanager/database.h"
#include "session/model.h"

namespace sim::modelmanager {

// Marks a contents as coming from the stored model: its document's element
// id among the database flags and the database reference attribute.
void mark_from_database(const session::entity_ptr& contents, const stored_model& m);

// The status a refresh finds for a contents now (see host/mm_status.h);
// never NIL.
host::lisp::ref compute_status(const session::entity_ptr& contents);
// The same, also answering the latest model stored under its sysid.
host::lisp::ref compute_status(const session::entity_ptr& contents, std::optional<stored_model>& stored);
// Remembers the statuses of these contents as computed now; those stored
// under their sysid and name are linked to the latest stored model.
void refresh_statuses(const std::vector<session::entity_ptr>& contents);
// The remembered status; NIL when no refresh has seen the contents.
host::lisp::ref known_status(const session::entity_ptr& contents);

// Every distinct filing contents of a model's tree, the model's own first, in
// tree order.
std::vector<session::entity_ptr> contents_of_tree(const session::entity_ptr& instance);

// The next n stores (ndm_store_modified, ndm_am_store) fail with message.
void fail_stores(int n, std::string message);
// Signals the host's error when a store has been made to fail.
void check_store_allowed();

}  // namespace sim::modelmanager
