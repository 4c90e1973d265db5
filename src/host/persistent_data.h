// The host's persistent data store: values kept across sessions for a
// module, under a key and a subkey. Values are what the host's printer
// writes readably.
#pragma once

#include <string>

#include "host/lisp/object.h"

namespace host::oli {

// The stored value, NIL when nothing is stored.
lisp::ref sd_get_persistent_data(const std::string& module, const std::string& key, const lisp::ref& subkey);
// Stores the value, replacing an earlier one; T. A value that cannot be
// written readably signals.
lisp::ref sd_set_persistent_data(const std::string& module, const std::string& key, const lisp::ref& value,
                                 const lisp::ref& subkey);

}  // namespace host::oli
