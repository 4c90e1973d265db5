// Undo states and model checkpoints of the session.
//
// The session keeps a line of states. Taking a checkpoint (or noting a
// state) drops the states after the current one and appends the session as
// it is; returning to a checkpoint restores the 3D session exactly (every
// entity's names, sysids, flags, attributes, features and the structure)
// and makes it the current state, keeping the later ones until rm-future or
// the next state drops them. The current drawing is not part of it.
#pragma once

#include "host/lisp/object.h"

namespace host::oli {
host::lisp::ref sd_set_model_checkpoint();  // a checkpoint handle
// Signals the host's error for a checkpoint whose state was dropped.
void sd_return_to_model_checkpoint(const host::lisp::ref& checkpoint);
}  // namespace host::oli

namespace host::k2 {
// The value of k2::*k2-state-manager*: the session's state manager.
host::lisp::ref k2_state_manager();
}  // namespace host::k2

namespace host::dsm {
void note_state(const host::lisp::ref& state_manager);
// Drops the states after the current one.
void rm_future(const host::lisp::ref& state_manager);
}  // namespace host::dsm
