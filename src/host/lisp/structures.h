// Structure types of the host's Lisp (defstruct with :include).
#pragma once

#include <string_view>
#include <vector>

#include "host/lisp/object.h"

namespace host::lisp {

// Defines or redefines a structure type; `own_slots` follow the included
// type's slots. Defining also makes the type known to the reader for #S.
const struct_type& define_struct(symbol& name, std::vector<symbol*> own_slots,
                                 const struct_type* include = nullptr);
const struct_type* find_struct(const symbol& name);
// The reader's lookup for #S(NAME ...): the symbol's own type or, failing
// that, the only type of that name in any package.
const struct_type* find_struct_by_name(const symbol& name);

ref make_structure(const struct_type& type);
// Slot by slot name; signals when the slot does not exist.
ref& slot(structure_obj& s, std::string_view slot_name);
int slot_index(const struct_type& type, std::string_view slot_name);  // -1 if absent
bool typep(const ref& value, const struct_type& type);                // honours :include

}  // namespace host::lisp
