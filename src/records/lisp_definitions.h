// The Lisp definitions of the record units, made while the module loads.
#pragma once

namespace vtm::records {

// vt_model: the structures CLUSTER-METAKEY, CLUSTER-COMPOSITE-KEY and
// EXTENDED-LOCATION with their plists; fixes the load time of unique names.
void define_vt_model();
// vt_filerecords: CAD-FILEINFO, COMPONENT-INFO, INSTANCE-INFO,
// CONTENTS-INFO, AMI-DRAWING-INFO and CHANGE-INFO with their plists, and
// (MAKE-CAD-FILEINFO path &key state).
void define_vt_filerecords();

}  // namespace vtm::records
