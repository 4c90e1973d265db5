// Positions in the model tree as the session sees them: the instances from a
// top-level model down to the position (the root position is empty).
#pragma once

#include <optional>
#include <vector>

#include "host/lisp/object.h"
#include "session/model.h"

namespace sim::session {

using position = std::vector<entity_ptr>;

// The model path (elan::sel_item) of a position; the type follows the item.
host::lisp::ref make_path(const position& p);
// The position of a model path, or the first position of an instance handle
// in session. Signals the host's type error for anything else; an instance
// not in session has no position (nullopt).
std::optional<position> position_of(const host::lisp::ref& object);
// As position_of; an instance not in session is the host's error.
position require_position(const host::lisp::ref& object);
// The first position of an instance in session, in tree order of the
// parents' first uses.
std::optional<position> first_position(const entity_ptr& instance);
// Whether every instance of the position still lives where the position says.
bool position_in_session(const position& p);
// The contents at a position (the root contents for the root position).
entity_ptr contents_at(const position& p);

}  // namespace sim::session
