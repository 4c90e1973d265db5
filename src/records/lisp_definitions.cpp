#include "records/lisp_definitions.h"

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "records/cluster_keys.h"
#include "records/file_records.h"
#include "records/model_names.h"

namespace vtm::records {

namespace hl = host::lisp;

void define_vt_model() {
  core::lisp_type<cluster_metakey>();
  core::lisp_type<cluster_composite_key>();
  core::lisp_type<extended_location>();
  module_unique_model_namer();
}

void define_vt_filerecords() {
  core::lisp_type<cad_fileinfo>();
  core::lisp_type<component_info>();
  core::lisp_type<instance_info>();
  core::lisp_type<contents_info>();
  core::lisp_type<ami_drawing_info>();
  core::lisp_type<change_info>();
  // The structure's keyword constructor gives way to the one that reads the
  // file's write date.
  hl::defun(hl::intern("MAKE-CAD-FILEINFO", hl::require_package("VANTREL-MIGRATOR")), [](hl::args_t args) {
    if (args.empty()) hl::argument_count_error("MAKE-CAD-FILEINFO", 0, 1, 3);
    const hl::keyword_args keys("MAKE-CAD-FILEINFO", args, 1, {"STATE"});
    const hl::ref state = keys.get("STATE");
    return core::to_lisp(make_cad_fileinfo(
        core::lisp_value<std::filesystem::path>::from(args[0]),
        hl::is_nil(state) ? cad_file_state::new_ : core::lisp_value<cad_file_state>::from(state)));
  });
}

}  // namespace vtm::records
