// The optional part check of the staging run, whose findings the component
// records keep.
#pragma once

#include "host/lisp/object.h"

namespace vtm::stage1 {

// NIL when check is off or the host's check fails (its error is shown).
// Otherwise one entry per "Error:" finding list of the host's result:
// ("Error:" ((n description) ...)), where description is the second element
// of an item and n the number of elements after it.
host::lisp::ref check_component(const host::lisp::ref& selitem, bool check);

// The error entries of a check result as check_component returns them.
host::lisp::ref check_result_errors(const host::lisp::ref& result);

}  // namespace vtm::stage1
