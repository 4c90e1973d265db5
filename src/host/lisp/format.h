// Common Lisp `format`: ~A ~S ~D ~X ~% ~& ~{ ~} ~^ ~[ ~; ~] ~( ~) ~* ~~ with
// parameters (mincol, padchar, v, #) and the : and @ modifiers, agreeing with
// a conforming Common Lisp.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "host/lisp/object.h"

namespace host::lisp {

std::string format(std::string_view control, args_t args);
void format(std::ostream& out, std::string_view control, args_t args);

// Convenience for C++ callers.
template <class... R>
std::string format(std::string_view control, const R&... args) {
  const ref a[] = {ref(args)..., ref()};
  return format(control, args_t(a, sizeof...(R)));
}

}  // namespace host::lisp
