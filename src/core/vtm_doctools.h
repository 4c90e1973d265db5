// Documentation of the module's functions, dialogs, packages, structures,
// types, variables and classes, in markdown lines.
//
// It costs one test outside the host's debug mode. In debug mode each call
// hands the name (and a function's specializer) with the lines to the
// documentation function of SD-DOC-TOOLS named after its kind
// (.~~~FUN., .~~~DIALOG., ...), which the debugging environment supplies.
#pragma once

#include <initializer_list>
#include <string_view>

#include "host/lisp/object.h"

namespace vtm::core::doc {

enum class kind { dialog, feat, fun, pkg, struct_, type, var, class_ };

void document(kind k, const host::lisp::ref& name, std::initializer_list<std::string_view> lines);
// Functions name the types they are associated with, for cross references.
void function(const host::lisp::ref& name, const host::lisp::ref& specializer,
              std::initializer_list<std::string_view> lines);

}  // namespace vtm::core::doc
