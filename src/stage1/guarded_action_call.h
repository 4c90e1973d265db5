// Runs a host command so that its failure comes back as a value instead of
// ending the caller: a failing load or save is recorded and the run goes on.
#pragma once

#include <functional>

#include "host/lisp/object.h"

namespace vtm::stage1 {

struct action_outcome {
  bool ok = false;
  host::lisp::ref error;   // the host's error object when the call failed
  host::lisp::ref result;  // frame2::*sd-action-result* after the call
};

// Refused without running the command while the host allows no action call
// (the error :sd-call-action-illegal-call of :oli is set). During the call
// the host's error display goes to its error catcher, so an error the
// command only displays counts as a failure as well; any error state left
// by earlier commands is cleared first.
action_outcome guarded_action_call(const std::function<void()>& command);

}  // namespace vtm::stage1
