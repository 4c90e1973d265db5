// The action-error trap every host action of the assisted check-in runs
// under, and the few host calls it makes in more than one place.
#pragma once

#include <functional>
#include <string>

#include "host/lisp/object.h"

namespace vtm::checkin::host_ops {

// Runs a host action; a failure does not propagate: the error's message is
// displayed, followed by fixed_message when given, and the answer is false.
bool trapped(const std::function<void()>& action, const std::string& fixed_message = {});

// :newer-version-exists or :up-to-date: stored in Model Manager.
bool stored_status_p(const host::lisp::ref& status);

// Builds the structure browser again and redraws it.
void refresh_browser();

}  // namespace vtm::checkin::host_ops
