#include "records/cluster_keys.h"

#include <functional>
#include <unordered_set>

#include "host/lisp/errors.h"
#include "records/cluster_session.h"

namespace vtm::records {

namespace hl = host::lisp;

std::size_t composite_key_hash::operator()(const cluster_composite_key& k) const {
  std::size_t h = std::hash<std::optional<std::string>>()(k.sysid);
  const auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
  mix(std::hash<std::optional<std::string>>()(k.model_name));
  mix(std::hash<std::optional<double>>()(k.timestamp));
  mix(std::hash<std::optional<std::string>>()(k.symbolic_version));
  mix(std::hash<std::optional<std::string>>()(k.symbolic_name));
  return h;
}

core::plist cluster_metakey_plist(const cluster_metakey& key) { return core::structure_as_plist(key); }

core::plist cluster_composite_key_plist(const cluster_composite_key& key) {
  return core::structure_as_plist(key);
}

core::plist cluster_metakey_diff(const cluster_metakey& a, const cluster_metakey& b) {
  const core::plist pa = cluster_metakey_plist(a), pb = cluster_metakey_plist(b);
  core::plist diff;
  for (auto ia = pa.begin(), ib = pb.begin(); ia != pa.end(); ++ia, ++ib)
    if (!hl::equal(ia->second, ib->second)) diff.add(ia->first, hl::cons(ia->second, ib->second));
  return diff;
}

cluster_metakey make_cluster_metakey(const hl::ref& cluster, cluster_session& session) {
  cluster_metakey key;
  key.model_name = session.name(cluster);
  key.timestamp = session.modification_time(cluster);
  key.symbolic_version = session.symbolic_version(cluster);
  key.symbolic_name = session.symbolic_name(cluster);
  return key;
}

cluster_composite_key make_cluster_composite_key(const hl::ref& cluster, cluster_session& session) {
  cluster_composite_key key;
  key.sysid = session.sysid(cluster);
  static_cast<cluster_metakey&>(key) = make_cluster_metakey(cluster, session);
  return key;
}

cluster_composite_key convert_meta_to_composite_key(const std::string& sysid, const cluster_metakey& key) {
  cluster_composite_key out;
  static_cast<cluster_metakey&>(out) = key;
  out.sysid = sysid;
  return out;
}

cluster_composite_key convert_meta_to_composite_key(const sysid_value& sysid, const cluster_metakey& key,
                                                    cluster_session& session) {
  if (sysid.in_session()) return convert_meta_to_composite_key(session.sysid(sysid.handle()), key);
  cluster_composite_key out;
  static_cast<cluster_metakey&>(out) = key;
  if (sysid.persisted()) out.sysid = sysid.string();
  return out;
}

extended_location make_extended_location(std::optional<std::string> prefix, const model_path& selitem) {
  extended_location location;
  static_cast<model_path&>(location) = selitem;
  location.prefix = std::move(prefix);
  return location;
}

std::string extended_location_string(const extended_location& location, cluster_session& session) {
  return location.prefix.value_or("") + session.obj_pathname(location);
}

std::string share_string(const share& location, cluster_session& session) {
  if (const auto* s = std::get_if<std::string>(&location)) return *s;
  return extended_location_string(std::get<extended_location>(location), session);
}

std::vector<std::string> map_entities_to_sysids(const sysid_list& entities, cluster_session& session) {
  std::unordered_set<const LAOBJ*> handles;
  std::unordered_set<std::string> strings;
  std::vector<std::string> out;
  for (const sysid_value& e : entities) {
    if (e.in_session()) {
      if (handles.insert(e.handle().get()).second) out.push_back(session.sysid(e.handle()));
    } else if (e.persisted() && strings.insert(e.string()).second) {
      out.push_back(e.string());
    }
  }
  return out;
}

std::vector<std::string> map_locations_to_pathnames(const share_list& locations, cluster_session& session) {
  std::unordered_set<std::string> seen;
  std::vector<std::string> out;
  for (const share& s : locations) {
    std::string path = share_string(s, session);
    if (seen.insert(path).second) out.push_back(std::move(path));
  }
  return out;
}

}  // namespace vtm::records

namespace vtm::core {

ref lisp_value<records::share>::to(const records::share& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return host::lisp::make_string(*s);
  return to_lisp(std::get<records::extended_location>(v));
}

records::share lisp_value<records::share>::from(const ref& v) {
  if (host::lisp::stringp(v)) return host::lisp::as_string(v);
  if (!host::lisp::typep(v, lisp_type<records::extended_location>()))
    host::lisp::type_error(v, "(OR STRING EXTENDED-LOCATION)");
  return from_lisp<records::extended_location>(v);
}

}  // namespace vtm::core
