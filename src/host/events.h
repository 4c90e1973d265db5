// Host events and the command queue.
#pragma once

#include <string>

#include "host/lisp/object.h"

namespace host::frame2 {
// Queues a command line; it runs after the command running now.
void put_buffer(const std::string& command_line);
// Runs a command line now, as if typed, and then the lines it queued; false
// when one of them failed (the host has said why). Signals when called from
// a dialog's callback, where no command may start.
bool sd_call_cmds(const std::string& command_line);
}  // namespace host::frame2

namespace host::event {

// The events, values of event::*browser-update-event* and
// event::*changed-parcel-tree-event*. The browser updates after every
// command line the host has run.
lisp::ref browser_update_event();
lisp::ref changed_parcel_tree_event();

// Calls handler with argument on every event until it is unsubscribed.
// Subscribing a handler again replaces its argument.
void subscribe_event(const lisp::ref& event, const lisp::ref& handler, const lisp::ref& argument);
void unsubscribe_event(const lisp::ref& event, const lisp::ref& handler);
// Raises the event: calls the handlers subscribed to it, oldest first. A
// handler that fails is reported and the others still run.
void process_event(const lisp::ref& event);

}  // namespace host::event
