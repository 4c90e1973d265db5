// How the host's printer writes the name of a symbol.
#pragma once

#include <string_view>

namespace host::lisp {

// Whether the reader reads name back as written only inside bars (|name|).
// Non-ASCII names get bars too: the reader folds the case of ASCII letters only.
bool symbol_name_needs_bars(std::string_view name);

}  // namespace host::lisp
