// The record structures as Common Lisp source for SBCL, made from the
// definitions the module's records use, so both sides agree slot by slot.
#pragma once

#include <cstdlib>
#include <string>

#include "core/vt_utils.h"
#include "host/lisp/object.h"
#include "records/cluster_keys.h"
#include "records/file_records.h"

namespace records_test {

inline void add_defstruct(std::string& out, std::string& exports, const host::lisp::struct_type& t) {
  exports += " \"" + t.name->name + "\"";
  out += "(defstruct (" + t.name->name;
  std::size_t first_own = 0;
  if (t.include) {
    out += " (:include " + t.include->name->name + ")";
    first_own = t.include->slots.size();
  }
  out += ")";
  for (std::size_t i = first_own; i < t.slots.size(); ++i) out += " " + t.slots[i]->name;
  out += ")\n";
}

// defpackage and defstructs of every record type.
inline std::string sbcl_record_definitions() {
  using namespace vtm::records;
  using vtm::core::lisp_type;
  std::string structs, exports;
  for (const host::lisp::struct_type* t :
       {&lisp_type<cluster_metakey>(), &lisp_type<cluster_composite_key>(), &lisp_type<extended_location>(),
        &lisp_type<cad_fileinfo>(), &lisp_type<component_info>(), &lisp_type<instance_info>(),
        &lisp_type<contents_info>(), &lisp_type<ami_drawing_info>(), &lisp_type<change_info>()})
    add_defstruct(structs, exports, *t);
  return "(defpackage \"VANTREL-MIGRATOR\" (:use \"CL\") (:nicknames \"VTM\") (:export" + exports +
         "))\n(in-package \"VANTREL-MIGRATOR\")\n" + structs + "(in-package \"CL-USER\")\n";
}

inline bool sbcl_available() { return std::system("sbcl --version > /dev/null 2>&1") == 0; }

}  // namespace records_test
