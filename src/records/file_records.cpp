#include "records/file_records.h"

#include "host/lisp/errors.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "records/change_records.h"
#include "records/cluster_files.h"
#include "records/cluster_session.h"
#include "records/model_tree.h"
#include "records/staging_layout.h"

namespace vtm::records {

namespace hl = host::lisp;
using core::lisp_value;

bool load_status::operator==(const load_status& o) const { return hl::equal(value, o.value); }

std::size_t change_key_hash::operator()(const change_key& k) const {
  if (const auto* s = std::get_if<std::string>(&k)) return std::hash<std::string>()(*s);
  if (const auto* c = std::get_if<cluster_composite_key>(&k)) return composite_key_hash()(*c);
  return 0;
}

cad_fileinfo make_cad_fileinfo(const std::filesystem::path& path, cad_file_state state) {
  cad_fileinfo info;
  info.path = path;
  info.state = state;
  info.write_date = hl::file_write_date(hl::make_string(path.string()));
  return info;
}

instance_info make_instance_info(const extended_location& location, record_path sourcepath,
                                 cluster_session& session) {
  const hl::ref item = location.item.value;
  instance_info info;
  info.sysid = sysid_value::of_entity(item);
  info.typename_ = session.entity_type_name(item);
  info.filename = make_cluster_filename(item, session);
  info.sourcepath = std::move(sourcepath);
  info.name = extended_location_string(location, session);
  info.contents_sysid = sysid_value::of_entity(session.get_contents(location));
  return info;
}

contents_info make_contents_info(const extended_location& location, const instance_info& model,
                                 const part_check& check, cluster_session& session) {
  const hl::ref contents = session.get_contents(location);
  contents_info info;
  info.sysid = sysid_value::of_entity(contents);
  info.typename_ = session.entity_type_name(contents);
  info.filename = make_cluster_filename(contents, session);
  info.metakey = make_cluster_metakey(contents, session);
  info.shares = {location};
  info.model_sysids = {model.sysid};
  info.parent_sysids = {sysid_value::of_entity(get_real_parent_cluster(location, session))};
  if (check && info.typename_ == "part_struct") info.check_result.value = check(location);
  info.db_gref.value = session.contents_attribute_values(location, "DB-GREF");
  if (session.inseparable_child_p(location))
    info.tags = {{"INSEPARABLE-CHILD"}};
  else if (session.inseparable_master_p(location))
    info.tags = {{"INSEPARABLE-MASTER"}};
  return info;
}

change_info make_change_info(std::string location, change_key key_before, change_key key_after,
                             core::keyword_name reason) {
  return {{std::move(location)}, std::move(key_before), std::move(key_after), std::move(reason)};
}

change_info make_change_info(const share& location, change_key key_before, change_key key_after,
                             core::keyword_name reason, cluster_session& session) {
  return make_change_info(share_string(location, session), std::move(key_before), std::move(key_after),
                          std::move(reason));
}

contents_info& update_contents_info(contents_info& info, const instance_info& model,
                                    const extended_location& location, cluster_session& session) {
  info.shares.push_front(location);
  info.model_sysids.push_front(model.sysid);
  info.parent_sysids.push_front(sysid_value::of_entity(get_real_parent_cluster(location, session)));
  return info;
}

bool cad_fileinfo_consistent_p(const cad_fileinfo& info) {
  std::error_code ec;
  if (!std::filesystem::exists(info.path.path(), ec)) return false;
  return hl::file_write_date(hl::make_string(info.path.string())) == info.write_date;
}

const component_info& component_base(const component_record& r) {
  return std::visit([](const auto& v) -> const component_info& { return v; }, r);
}

component_info& component_base(component_record& r) {
  return std::visit([](auto& v) -> component_info& { return v; }, r);
}

hl::ref component_record_to_lisp(const component_record& r) {
  return std::visit([](const auto& v) { return core::to_lisp(v); }, r);
}

component_record component_record_from_lisp(const hl::ref& v) {
  if (hl::typep(v, core::lisp_type<instance_info>())) return core::from_lisp<instance_info>(v);
  if (hl::typep(v, core::lisp_type<contents_info>())) return core::from_lisp<contents_info>(v);
  hl::type_error(v, "(OR INSTANCE-INFO CONTENTS-INFO)");
}

std::filesystem::path component_info_file(const component_info& info) {
  return std::filesystem::path(model_staging_dir) / info.filename;
}

bool component_info_persisted_p(const component_info& info) { return info.sysid.persisted(); }

bool component_connected_p(const component_info& info, const std::string& to) {
  for (const sysid_value& child : info.child_sysids)
    if (child.persisted() && child.string() == to) return true;
  return false;
}

cluster_composite_key contents_info_composite_key(const contents_info& info) {
  if (info.sysid.in_session())
    hl::simple_error("The composite key of a contents in session needs the session's sysid.");
  return convert_meta_to_composite_key(info.sysid.persisted() ? info.sysid.string() : std::string(),
                                       info.metakey.value_or(cluster_metakey{}));
}

cluster_composite_key contents_info_composite_key(const contents_info& info, cluster_session& session) {
  return convert_meta_to_composite_key(info.sysid, info.metakey.value_or(cluster_metakey{}), session);
}

std::optional<std::string> contents_info_model_name(const contents_info& info) {
  return info.metakey ? info.metakey->model_name : std::nullopt;
}

std::filesystem::path ami_drawing_info_file(const ami_drawing_info& info) {
  return std::filesystem::path(ami_drawings_dir) / info.filename;
}

core::plist instance_info_plist(const instance_info& info) { return core::structure_as_plist(info); }
core::plist contents_info_plist(const contents_info& info) { return core::structure_as_plist(info); }
core::plist ami_drawing_info_plist(const ami_drawing_info& info) { return core::structure_as_plist(info); }

std::string change_component_info_sysid(component_record& info, const std::optional<std::string>& sysid,
                                        const core::keyword_name& reason, change_records& logger,
                                        const share& location, cluster_session& session) {
  component_info& base = component_base(info);
  if (!base.sysid.in_session())
    hl::simple_error("The sysid " + hl::prin1_to_string(lisp_value<sysid_value>::to(base.sysid)) +
                     " of a persisted record cannot be changed.");
  const hl::ref cluster = base.sysid.handle();
  const cluster_composite_key before = make_cluster_composite_key(cluster, session);

  std::string new_sysid;
  if (sysid) {
    session.set_sysid(cluster, *sysid);
    new_sysid = *sysid;
  } else {
    session.set_cluster_sysids(cluster);
    new_sysid = session.sysid(cluster);
  }
  base.filename = new_sysid + base.filename.extension().string();
  session.set_cluster_filename(cluster, base.filename.string());

  std::string where = share_string(location, session);
  if (std::holds_alternative<instance_info>(info)) {
    logger.log_component_change(std::move(where), before.sysid.value_or(""), new_sysid, reason);
  } else {
    if (reason.name == "VERSION->ORIGINAL") session.lav_make_original(cluster, false);
    cluster_metakey key = make_cluster_metakey(cluster, session);
    std::get<contents_info>(info).metakey = key;
    logger.log_component_change(std::move(where), before, convert_meta_to_composite_key(new_sysid, key),
                                reason);
  }
  return new_sysid;
}

core::plist change_info_diff(const change_info& info) {
  core::plist diff;
  const auto& before = info.key_before;
  const auto& after = info.key_after;
  const auto* kb = std::get_if<cluster_composite_key>(&before);
  if (!kb) {
    if (!std::holds_alternative<std::string>(before) || before == after) return diff;
    diff.add("SYSID", hl::cons(lisp_value<change_key>::to(before), lisp_value<change_key>::to(after)));
    return diff;
  }
  if (std::holds_alternative<std::monostate>(after)) {
    diff.add("SYSID", hl::cons(lisp_value<std::optional<std::string>>::to(kb->sysid), hl::make_string("")));
    return diff;
  }
  const auto* ka = std::get_if<cluster_composite_key>(&after);
  if (!ka) hl::type_error(lisp_value<change_key>::to(after), "CLUSTER-COMPOSITE-KEY");
  const core::plist pb = cluster_composite_key_plist(*kb), pa = cluster_composite_key_plist(*ka);
  const auto or_empty = [](const hl::ref& v) { return hl::is_nil(v) ? hl::make_string("") : v; };
  for (auto ib = pb.begin(), ia = pa.begin(); ib != pb.end(); ++ib, ++ia)
    if (!hl::equal(ib->second, ia->second))
      diff.add(ib->first, hl::cons(or_empty(ib->second), or_empty(ia->second)));
  return diff;
}

}  // namespace vtm::records

namespace vtm::core {

namespace hl = host::lisp;

ref lisp_value<records::load_status>::to(const records::load_status& v) {
  if (hl::is(v.value, hl::tag::condition))
    return hl::make_string(static_cast<hl::condition_obj&>(*v.value).message);
  return v.value;
}

ref lisp_value<records::change_key>::to(const records::change_key& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return hl::make_string(*s);
  if (const auto* c = std::get_if<records::cluster_composite_key>(&v)) return to_lisp(*c);
  return ref();
}

records::change_key lisp_value<records::change_key>::from(const ref& v) {
  if (hl::is_nil(v)) return {};
  if (hl::stringp(v)) return hl::as_string(v);
  if (hl::typep(v, lisp_type<records::cluster_composite_key>()))
    return from_lisp<records::cluster_composite_key>(v);
  hl::type_error(v, "(OR STRING CLUSTER-COMPOSITE-KEY)");
}

}  // namespace vtm::core
