// Signalling the host's error from C++ with a format control and values.
#pragma once

#include <string_view>

#include "host/lisp/errors.h"
#include "host/lisp/object.h"

namespace host::lisp {

template <class... R>
[[noreturn]] void fail(std::string_view control, const R&... args) {
  const ref a[] = {ref(args)..., ref()};
  error(control, args_t(a, sizeof...(R)));
}

}  // namespace host::lisp
