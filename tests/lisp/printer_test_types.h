// Structure types and a package shared by the reader and printer tests.
#pragma once

#include "host/lisp/object.h"
#include "host/lisp/packages.h"
#include "host/lisp/structures.h"

namespace host::lisp::testing {

// The package RP-TEST (nickname RPT), using COMMON-LISP, with the external
// symbol EXPORTED and the types POINT (X Y), LABELED-POINT (:include POINT,
// LABEL) and BOX (CONTENTS ITEMS).
inline package& test_package() {
  static package& p = []() -> package& {
    package& pkg = make_package("RP-TEST", {"RPT"}, {&common_lisp_package()});
    export_symbol(intern("EXPORTED", pkg), pkg);
    const struct_type& point = define_struct(intern("POINT", pkg), {&intern("X", pkg), &intern("Y", pkg)});
    define_struct(intern("LABELED-POINT", pkg), {&intern("LABEL", pkg)}, &point);
    define_struct(intern("BOX", pkg), {&intern("CONTENTS", pkg), &intern("ITEMS", pkg)});
    return pkg;
  }();
  return p;
}

inline const struct_type& test_type(std::string_view name) {
  return *find_struct(intern(name, test_package()));
}

// A structure of a test type with the given slot values in slot order.
inline ref make_test_struct(std::string_view type, std::initializer_list<ref> slots) {
  ref r = make_structure(test_type(type));
  auto& s = static_cast<structure_obj&>(*r);
  std::size_t i = 0;
  for (const ref& v : slots) s.slots.at(i++) = v;
  return r;
}

}  // namespace host::lisp::testing
