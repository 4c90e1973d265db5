// Clusters (the contents of model instances) and their system ids.
#pragma once

#include <string>

#include "host/lisp/object.h"

namespace host::frame2 {
// The sysid of an entity; NIL for a value that is no entity.
host::lisp::ref inq_entity_sysid(const host::lisp::ref& entity);
}  // namespace host::frame2
