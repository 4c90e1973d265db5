// The record types of the staging run: one per processed CAD file
// (cad_fileinfo), per fileable component (instance_info and contents_info,
// both component_info), per staged annotation drawing (ami_drawing_info) and
// per logged model change (change_info).
//
// Component records have two states. In session their sysid slots and sysid
// lists hold cluster handles and their shares extended locations; persisted
// (update_component_records) every such value is a sysid or path string.
// The record files of the staging directory hold them in their Lisp form,
// slot by slot in the order declared below.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/vt_utils.h"
#include "records/cluster_keys.h"
#include "records/record_path.h"
#include "records/sysid_value.h"

namespace vtm::records {

class change_records;
class cluster_session;

enum class cad_file_state { new_, loading, processing, complete };
enum class cad_load_method { sd, me30, mi, none };

// The outcome of a load: :OK, the host's error object, or NIL. An error
// object is written to a record file as its message, since conditions have
// no readable form.
struct load_status {
  host::lisp::ref value;
  bool operator==(const load_status& o) const;
};

struct cad_fileinfo {
  record_path path;  // absolute; the file table's key
  // (top-level instance name . staged model path relative to the staging directory)
  std::vector<std::pair<std::string, record_path>> models_3d;
  record_path drawing;  // staged drawing, relative; empty when none
  cad_file_state state = cad_file_state::new_;
  cad_load_method load_method = cad_load_method::none;
  std::int64_t write_date = 0;  // universal time
  load_status error_status;
  bool operator==(const cad_fileinfo&) const = default;
};

struct component_info {
  sysid_value sysid;
  std::optional<std::string> typename_;  // the slot TYPENAME
  record_path filename;                  // sysid and file type, no directory
  sysid_list child_sysids;
  std::vector<core::keyword_name> tags;  // :INSEPARABLE-MASTER, :INSEPARABLE-CHILD
  bool operator==(const component_info&) const = default;
};

struct instance_info : component_info {
  record_path sourcepath;            // relative to the input directory
  std::optional<std::string> name;   // extended location string
  sysid_value contents_sysid;
  bool operator==(const instance_info&) const = default;
};

struct contents_info : component_info {
  std::optional<cluster_metakey> metakey;
  share_list shares;
  sysid_list model_sysids;
  sysid_list parent_sysids;
  sysid_list layout_owner_sysids;
  core::lisp_datum check_result;
  core::lisp_datum db_gref;
  bool operator==(const contents_info&) const = default;
};

// What components.lsp holds.
using component_record = std::variant<instance_info, contents_info>;
host::lisp::ref component_record_to_lisp(const component_record& r);
// An INSTANCE-INFO or CONTENTS-INFO structure; the host's type error otherwise.
component_record component_record_from_lisp(const host::lisp::ref& v);

struct ami_drawing_info {
  std::optional<std::string> name;
  record_path sourcepath;
  record_path filename;  // in drawings.ami
  std::vector<std::string> instance_sysids;
  bool operator==(const ami_drawing_info&) const = default;
};

// The key of a cluster before or after a change: a composite key for a
// contents, a sysid string for an instance.
using change_key = std::variant<std::monostate, std::string, cluster_composite_key>;

struct change_key_hash {
  std::size_t operator()(const change_key& k) const;
};

struct change_info {
  std::vector<std::string> locations;  // extended location strings
  change_key key_before;
  change_key key_after;
  core::keyword_name reason;  // :SYSID-CONFLICT, :VERSION->ORIGINAL, ...
  bool operator==(const change_info&) const = default;
};

// --- Constructors ----------------------------------------------------------

// State :NEW unless given; the write date is the file's, which must exist.
cad_fileinfo make_cad_fileinfo(const std::filesystem::path& path,
                               cad_file_state state = cad_file_state::new_);
// The record of the top-level instance at location, in session.
instance_info make_instance_info(const extended_location& location, record_path sourcepath,
                                 cluster_session& session);
// A part check: its result for a position.
using part_check = std::function<host::lisp::ref(const extended_location&)>;
// The record of the contents used at location inside the top-level model,
// in session. check runs only on parts ("part_struct").
contents_info make_contents_info(const extended_location& location, const instance_info& model,
                                 const part_check& check, cluster_session& session);
change_info make_change_info(std::string location, change_key key_before, change_key key_after,
                             core::keyword_name reason);
change_info make_change_info(const share& location, change_key key_before, change_key key_after,
                             core::keyword_name reason, cluster_session& session);

// --- Accessors and predicates ----------------------------------------------

// Whether the file still has the recorded write date; a file that is gone
// is not consistent.
bool cad_fileinfo_consistent_p(const cad_fileinfo& info);
const component_info& component_base(const component_record& r);
component_info& component_base(component_record& r);
// models/<filename>
std::filesystem::path component_info_file(const component_info& info);
bool component_info_persisted_p(const component_info& info);
// Whether the component with sysid `to` is a direct child of info.
bool component_connected_p(const component_info& info, const std::string& to);
// For a persisted record; one in session needs the session's sysid.
cluster_composite_key contents_info_composite_key(const contents_info& info);
cluster_composite_key contents_info_composite_key(const contents_info& info, cluster_session& session);
std::optional<std::string> contents_info_model_name(const contents_info& info);
// drawings.ami/<filename>
std::filesystem::path ami_drawing_info_file(const ami_drawing_info& info);

core::plist instance_info_plist(const instance_info& info);
core::plist contents_info_plist(const contents_info& info);
core::plist ami_drawing_info_plist(const ami_drawing_info& info);

// --- Operations --------------------------------------------------------------

// A contents recorded already, met again at another position of the model:
// the position, the model's sysid and the filing parent go to the front of
// its lists (no de-duplication; that happens when the record is persisted).
contents_info& update_contents_info(contents_info& info, const instance_info& model,
                                    const extended_location& location, cluster_session& session);

// Gives the cluster of an in-session record a new sysid: `sysid`, or fresh
// ones from the host when none is given. Updates the record's file name (and
// for a contents its metakey), tells the host the new file name, logs the
// change with logger and returns the new sysid. The record's sysid slot keeps
// the handle.
std::string change_component_info_sysid(component_record& info, const std::optional<std::string>& sysid,
                                        const core::keyword_name& reason, change_records& logger,
                                        const share& location, cluster_session& session);

// (:SYSID (before . after)) or the differing composite-key slots, "" in place
// of NIL; empty when nothing differs.
core::plist change_info_diff(const change_info& info);

}  // namespace vtm::records

namespace vtm::core {

template <>
struct keyword_enum<records::cad_file_state> {
  static constexpr std::array<std::string_view, 4> names{"NEW", "LOADING", "PROCESSING", "COMPLETE"};
  static constexpr std::string_view type_name = "(MEMBER :NEW :LOADING :PROCESSING :COMPLETE)";
};

template <>
struct keyword_enum<records::cad_load_method> {
  static constexpr std::array<std::string_view, 4> names{"SD", "ME30", "MI", "NONE"};
  static constexpr std::string_view type_name = "(MEMBER :SD :ME30 :MI :NONE)";
};

template <>
struct lisp_value<records::load_status> {
  static ref to(const records::load_status& v);
  static records::load_status from(const ref& v) { return {v}; }
};

template <>
struct lisp_value<records::change_key> {
  static ref to(const records::change_key& v);
  static records::change_key from(const ref& v);
};

template <>
struct record_def<records::cad_fileinfo> {
  using r = records::cad_fileinfo;
  static constexpr std::string_view name = "CAD-FILEINFO";
  static constexpr std::tuple slots{slot{"PATH", &r::path},
                                    slot{"MODELS-3D", &r::models_3d},
                                    slot{"DRAWING", &r::drawing},
                                    slot{"STATE", &r::state},
                                    slot{"LOAD-METHOD", &r::load_method},
                                    slot{"WRITE-DATE", &r::write_date},
                                    slot{"ERROR-STATUS", &r::error_status}};
};

template <>
struct record_def<records::component_info> {
  using r = records::component_info;
  static constexpr std::string_view name = "COMPONENT-INFO";
  static constexpr std::tuple slots{slot{"SYSID", &r::sysid}, slot{"TYPENAME", &r::typename_},
                                    slot{"FILENAME", &r::filename}, slot{"CHILD-SYSIDS", &r::child_sysids},
                                    slot{"TAGS", &r::tags}};
};

template <>
struct record_def<records::instance_info> {
  using r = records::instance_info;
  static constexpr std::string_view name = "INSTANCE-INFO";
  using include = records::component_info;
  static constexpr std::tuple slots{slot{"SOURCEPATH", &r::sourcepath}, slot{"NAME", &r::name},
                                    slot{"CONTENTS-SYSID", &r::contents_sysid}};
  static constexpr std::array<std::string_view, 7> plist_keys{
      "SYSID", "TYPENAME", "FILENAME", "CHILD-SYSIDS", "SOURCEPATH", "NAME", "CONTENTS-SYSID"};
};

template <>
struct record_def<records::contents_info> {
  using r = records::contents_info;
  static constexpr std::string_view name = "CONTENTS-INFO";
  using include = records::component_info;
  static constexpr std::tuple slots{slot{"METAKEY", &r::metakey},
                                    slot{"SHARES", &r::shares},
                                    slot{"MODEL-SYSIDS", &r::model_sysids},
                                    slot{"PARENT-SYSIDS", &r::parent_sysids},
                                    slot{"LAYOUT-OWNER-SYSIDS", &r::layout_owner_sysids},
                                    slot{"CHECK-RESULT", &r::check_result},
                                    slot{"DB-GREF", &r::db_gref}};
  static constexpr std::array<std::string_view, 11> plist_keys{
      "SYSID",  "TYPENAME",     "FILENAME",      "CHILD-SYSIDS",        "METAKEY",
      "SHARES", "MODEL-SYSIDS", "PARENT-SYSIDS", "LAYOUT-OWNER-SYSIDS", "CHECK-RESULT",
      "DB-GREF"};
};

template <>
struct record_def<records::ami_drawing_info> {
  using r = records::ami_drawing_info;
  static constexpr std::string_view name = "AMI-DRAWING-INFO";
  static constexpr std::tuple slots{slot{"NAME", &r::name}, slot{"SOURCEPATH", &r::sourcepath},
                                    slot{"FILENAME", &r::filename},
                                    slot{"INSTANCE-SYSIDS", &r::instance_sysids}};
  static constexpr std::array<std::string_view, 4> plist_keys{"NAME", "SOURCEPATH", "FILENAME",
                                                              "INSTANCE-SYSIDS"};
};

template <>
struct record_def<records::change_info> {
  using r = records::change_info;
  static constexpr std::string_view name = "CHANGE-INFO";
  static constexpr std::tuple slots{slot{"LOCATIONS", &r::locations}, slot{"KEY-BEFORE", &r::key_before},
                                    slot{"KEY-AFTER", &r::key_after}, slot{"REASON", &r::reason}};
};

}  // namespace vtm::core
