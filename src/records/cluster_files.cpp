#include "records/cluster_files.h"

#include "records/cluster_session.h"

namespace vtm::records {

std::optional<std::string_view> cluster_file_type(std::string_view entity_type_name) {
  for (const auto& [name, type] : cluster_file_types)
    if (name == entity_type_name) return type;
  return std::nullopt;
}

std::string make_cluster_file_namestring(const host::lisp::ref& cluster, cluster_session& session) {
  std::string_view type;
  if (auto known = cluster_file_type(session.entity_type_name(cluster)))
    type = *known;
  else
    type = session.instance_level_p(cluster) ? "sdx" : "sdxc";
  return session.sysid(cluster) + "." + std::string(type);
}

std::filesystem::path make_cluster_filename(const host::lisp::ref& cluster, cluster_session& session) {
  return make_cluster_file_namestring(cluster, session);
}

}  // namespace vtm::records
