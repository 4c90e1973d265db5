// The keys that identify a cluster beyond its sysid, and the model position
// made unique beyond the session.
//
// Legacy files bring different components under one sysid and one component
// under several, so a component is told apart by its metakey (model name,
// time stamp, symbolic version and name); the composite key adds the sysid.
// A composite key is a metakey (it derives from it), so it is accepted
// wherever a metakey is. Keys compare slot by slot.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/vt_utils.h"
#include "records/front_list.h"
#include "records/sysid_value.h"

namespace vtm::records {

class cluster_session;

struct cluster_metakey {
  std::optional<std::string> model_name;
  std::optional<double> timestamp;
  std::optional<std::string> symbolic_version;
  std::optional<std::string> symbolic_name;
  bool operator==(const cluster_metakey&) const = default;
};

struct cluster_composite_key : cluster_metakey {
  std::optional<std::string> sysid;
  bool operator==(const cluster_composite_key&) const = default;
};

struct composite_key_hash {
  std::size_t operator()(const cluster_composite_key& k) const;
};

// A position in the session's model tree, as the host's model path
// (elan::sel_item) holds it: the list of instances from a top-level model
// down to the position, the selection type, and the instance there.
struct model_path {
  core::lisp_datum path;
  std::int64_t type = 0;
  core::lisp_datum item{host::lisp::make_integer(0)};
  bool operator==(const model_path&) const = default;
};

// A model path with the prefix, normally the source file's path, that makes
// it unique beyond the models in session.
struct extended_location : model_path {
  std::optional<std::string> prefix;
  bool operator==(const extended_location&) const = default;
};

extended_location make_extended_location(std::optional<std::string> prefix, const model_path& selitem);

// A position where a contents is used: an extended location in session, its
// path string once persisted.
using share = std::variant<std::string, extended_location>;

// The list slots of component records.
using sysid_list = front_list<sysid_value>;
using share_list = front_list<share>;

core::plist cluster_metakey_plist(const cluster_metakey& key);
core::plist cluster_composite_key_plist(const cluster_composite_key& key);

// (:KEY (value1 . value2) ...) for the metakey slots that differ, in plist
// order; empty when the keys agree. Sysids are never compared.
core::plist cluster_metakey_diff(const cluster_metakey& a, const cluster_metakey& b);

cluster_metakey make_cluster_metakey(const host::lisp::ref& cluster, cluster_session& session);
cluster_composite_key make_cluster_composite_key(const host::lisp::ref& cluster, cluster_session& session);

cluster_composite_key convert_meta_to_composite_key(const std::string& sysid, const cluster_metakey& key);
// An entity's sysid is queried from the session; a string is used as it is.
cluster_composite_key convert_meta_to_composite_key(const sysid_value& sysid, const cluster_metakey& key,
                                                    cluster_session& session);

// The prefix followed directly by the host's path name of the position.
std::string extended_location_string(const extended_location& location, cluster_session& session);

// One sysid string per distinct entity (handles compare by identity; strings
// already persisted are kept, once each), in first-seen order. Linear.
std::vector<std::string> map_entities_to_sysids(const sysid_list& entities, cluster_session& session);
// The extended location strings of the shares without duplicates, in
// first-seen order; shares already persisted are kept. Linear.
std::vector<std::string> map_locations_to_pathnames(const share_list& locations, cluster_session& session);
// The location string of a share: the string itself once persisted.
std::string share_string(const share& location, cluster_session& session);

}  // namespace vtm::records

namespace vtm::core {

template <>
struct record_def<records::cluster_metakey> {
  using k = records::cluster_metakey;
  static constexpr std::string_view name = "CLUSTER-METAKEY";
  static constexpr std::tuple slots{slot{"MODEL-NAME", &k::model_name}, slot{"TIMESTAMP", &k::timestamp},
                                    slot{"SYMBOLIC-VERSION", &k::symbolic_version},
                                    slot{"SYMBOLIC-NAME", &k::symbolic_name}};
  static constexpr std::array<std::string_view, 4> plist_keys{"MODEL-NAME", "TIMESTAMP", "SYMBOLIC-VERSION",
                                                              "SYMBOLIC-NAME"};
};

template <>
struct record_def<records::cluster_composite_key> {
  using k = records::cluster_composite_key;
  static constexpr std::string_view name = "CLUSTER-COMPOSITE-KEY";
  using include = records::cluster_metakey;
  static constexpr std::tuple slots{slot{"SYSID", &k::sysid}};
  static constexpr std::array<std::string_view, 5> plist_keys{"SYSID", "MODEL-NAME", "TIMESTAMP",
                                                              "SYMBOLIC-VERSION", "SYMBOLIC-NAME"};
};

template <>
struct record_def<records::extended_location> {
  using k = records::extended_location;
  static constexpr std::string_view name = "EXTENDED-LOCATION";
  static constexpr std::tuple slots{slot{"PATH", &k::path}, slot{"TYPE", &k::type}, slot{"ITEM", &k::item},
                                    slot{"PREFIX", &k::prefix}};
};

template <>
struct lisp_value<records::share> {
  static ref to(const records::share& v);
  static records::share from(const ref& v);
};

}  // namespace vtm::core
