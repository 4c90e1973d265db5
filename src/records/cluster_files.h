// The file a cluster is staged under: its sysid as name and a file type
// chosen by the cluster's entity type, so that a staged file's base name is
// its component's sysid.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "host/lisp/object.h"

namespace vtm::records {

class cluster_session;

// Entity-type name of a cluster -> file type.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 8> cluster_file_types{{
    {"nasmb3", "sda"},
    {"npart3", "sdp"},
    {"nwp", "sdw"},
    {"nwpset", "sds"},
    {"asbm_struct", "sdac"},
    {"part_struct", "sdpc"},
    {"wp_struct", "sdwc"},
    {"nwpset_struct", "sdsc"},
}};

std::optional<std::string_view> cluster_file_type(std::string_view entity_type_name);

// "<sysid>.<type>"; a type missing from the table is "sdx" for instance-level
// objects and "sdxc" for contents.
std::string make_cluster_file_namestring(const host::lisp::ref& cluster, cluster_session& session);
// The same as a file name without directory.
std::filesystem::path make_cluster_filename(const host::lisp::ref& cluster, cluster_session& session);

}  // namespace vtm::records
