#include "records/lisp_definitions.h"

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "records/cluster_keys.h"
#include "records/file_records.h"
#include "records/host_cluster_session.h"
#include "records/model_names.h"

namespace vtm::records {

namespace hl = host::lisp;

namespace {

hl::symbol& main_symbol(std::string_view name) {
  return hl::intern(name, hl::require_package("VANTREL-MIGRATOR"));
}

// A model path given as an extended location or as the host's sel_item.
extended_location location_from_lisp(const hl::ref& v) {
  if (hl::typep(v, core::lisp_type<extended_location>())) return core::from_lisp<extended_location>(v);
  extended_location location;
  static_cast<model_path&>(location) = from_sel_item(v);
  return location;
}

void define_key_constructors() {
  // Keys of a cluster in session, queried from the host.
  hl::defun(main_symbol("MAKE-CLUSTER-METAKEY"), [](hl::args_t args) {
    hl::check_argument_count("MAKE-CLUSTER-METAKEY", args, 1, 1);
    host_cluster_session session;
    return core::to_lisp(make_cluster_metakey(args[0], session));
  });
  hl::defun(main_symbol("MAKE-CLUSTER-COMPOSITE-KEY"), [](hl::args_t args) {
    hl::check_argument_count("MAKE-CLUSTER-COMPOSITE-KEY", args, 1, 1);
    host_cluster_session session;
    return core::to_lisp(make_cluster_composite_key(args[0], session));
  });
  // sysid: a string used as it is, or an entity whose sysid is queried.
  hl::defun(main_symbol("CONVERT-META-TO-COMPOSITE-KEY"), [](hl::args_t args) {
    hl::check_argument_count("CONVERT-META-TO-COMPOSITE-KEY", args, 2, 2);
    const cluster_metakey key = core::from_lisp<cluster_metakey>(args[1]);
    host_cluster_session session;
    const sysid_value sysid =
        hl::stringp(args[0]) ? sysid_value(hl::as_string(args[0])) : sysid_value::of_entity(args[0]);
    return core::to_lisp(convert_meta_to_composite_key(sysid, key, session));
  });
  // (make-extended-location &key prefix selitem): the position of selitem
  // with the prefix; the structure's own slot keywords still work.
  hl::defun(main_symbol("MAKE-EXTENDED-LOCATION"), [](hl::args_t args) {
    const hl::keyword_args keys("MAKE-EXTENDED-LOCATION", args, 0,
                                {"PREFIX", "SELITEM", "PATH", "TYPE", "ITEM"});
    const hl::ref prefix = keys.get("PREFIX");
    const std::optional<std::string> text =
        hl::is_nil(prefix) ? std::nullopt : std::optional<std::string>(hl::as_string(prefix));
    const hl::ref selitem = keys.get("SELITEM");
    if (!hl::is_nil(selitem)) return core::to_lisp(make_extended_location(text, location_from_lisp(selitem)));
    model_path path;
    path.path = {keys.get("PATH")};
    const hl::ref type = keys.get("TYPE");
    path.type = hl::is_nil(type) ? 0 : hl::as_integer(type);
    const hl::ref item = keys.get("ITEM");
    if (!hl::is_nil(item)) path.item = {item};
    return core::to_lisp(make_extended_location(text, path));
  });
}

}  // namespace

void define_vt_model() {
  core::lisp_type<cluster_metakey>();
  core::lisp_type<cluster_composite_key>();
  core::lisp_type<extended_location>();
  module_unique_model_namer();
  define_key_constructors();
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
  // The record of the top-level instance at location, in session.
  hl::defun(main_symbol("MAKE-INSTANCE-INFO"), [](hl::args_t args) {
    const hl::keyword_args keys("MAKE-INSTANCE-INFO", args, 0, {"LOCATION", "SOURCEPATH"});
    const hl::ref sourcepath = keys.get("SOURCEPATH");
    host_cluster_session session;
    return core::to_lisp(make_instance_info(location_from_lisp(keys.get("LOCATION")),
                                            hl::is_nil(sourcepath)
                                                ? std::filesystem::path()
                                                : core::lisp_value<std::filesystem::path>::from(sourcepath),
                                            session));
  });
}

}  // namespace vtm::records
