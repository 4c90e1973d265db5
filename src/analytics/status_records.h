// Status records of the migration analytics: one per staged 3D model and
// per staged Annotation drawing, each in one of three categories (ready for
// check-in, warnings, errors) decided by its tags, and the collections that
// hold them by category.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/vt_utils.h"
#include "records/ordered_table.h"
#include "records/record_path.h"

namespace vtm::analytics {

inline constexpr std::string_view analytics_file_basename = "analytics";

struct record_status {
  std::string key;
  records::record_path source;  // in the input directory
  records::record_path staged;  // relative to the staging directory
  std::vector<core::keyword_name> tags;
  bool operator==(const record_status&) const = default;
};

// A layout-owner instance sysid of a drawing and the contents records found
// owning a layout with it: (sysid (contents-sysid ...)).
struct resolved_sysid {
  std::string instance_sysid;
  std::vector<std::string> contents_sysids;
  bool operator==(const resolved_sysid&) const = default;
};

struct ami_drawing_status : record_status {
  std::optional<std::string> name;
  std::vector<resolved_sysid> resolved_sysids;
  std::vector<std::string> model_sysids;
  bool operator==(const ami_drawing_status&) const = default;
};

// A model name carried by several contents of one model: (name sysid ...).
struct model_name_conflict {
  std::string name;
  std::vector<std::string> sysids;
  bool operator==(const model_name_conflict&) const = default;
};

struct model_status : record_status {
  std::optional<std::string> typename_;
  // (owner sysid . lost child sysid), one per lost part
  std::vector<std::pair<std::string, std::string>> disconnects;
  std::vector<std::string> corrupt;
  std::vector<model_name_conflict> model_name_conflicts;
  std::vector<records::record_path> associated_drawings;
  bool operator==(const model_status&) const = default;
};

enum class category { ok, warnings, errors };

// A drawing's category follows its last tag; a model's its whole tag list.
category ami_drawing_status_category(const ami_drawing_status& s);
category model_status_category(const model_status& s);

template <class S>
struct status_collection {
  using table_type = records::ordered_table<std::string, S>;
  table_type ready_for_checkin;
  table_type warnings;
  table_type errors;

  table_type& table(category c) {
    return c == category::ok ? ready_for_checkin : c == category::warnings ? warnings : errors;
  }
  const table_type& table(category c) const { return const_cast<status_collection*>(this)->table(c); }
};

using ami_drawing_analytics = status_collection<ami_drawing_status>;
using model_analytics = status_collection<model_status>;

struct migration_analytics {
  ami_drawing_analytics for_drawings;
  model_analytics for_models;
  // (source file, workplane) of each component of type nwp, in record
  // order: found with the models, shown in the report, not saved.
  std::vector<std::pair<std::string, std::string>> top_level_workplanes;
};

// The tables under :READY-FOR-CHECK-IN, :WARNINGS and :ERRORS, in this order.
template <class S>
std::array<std::pair<std::string_view, const typename status_collection<S>::table_type*>, 3>
record_analytics_plist(const status_collection<S>& c) {
  return {{{"READY-FOR-CHECK-IN", &c.ready_for_checkin}, {"WARNINGS", &c.warnings}, {"ERRORS", &c.errors}}};
}

// Stores the status in its category's table, replacing one of the same key
// there. With flush_to (a staging directory) it is also appended to that
// directory's analytics file, which must exist.
void update_ami_drawing_analytics(ami_drawing_analytics& c, const ami_drawing_status& status,
                                  const std::optional<std::filesystem::path>& flush_to = std::nullopt);
void update_model_analytics(model_analytics& c, const model_status& status,
                            const std::optional<std::filesystem::path>& flush_to = std::nullopt);
// The same without flushing, the status moved into its table.
void update_ami_drawing_analytics(ami_drawing_analytics& c, ami_drawing_status&& status);
void update_model_analytics(model_analytics& c, model_status&& status);

// The visitor's results for the statuses of the category (table order) that
// carry tag; all of them without a tag.
template <class S, class F>
auto map_status_records(const status_collection<S>& c, category cat, const std::optional<std::string>& tag,
                        F&& visitor) {
  std::vector<std::invoke_result_t<F&, const S&>> out;
  for (const auto& [key, status] : c.table(cat)) {
    bool has = !tag;
    for (const core::keyword_name& t : status.tags) has = has || t.name == *tag;
    if (has) out.push_back(visitor(status));
  }
  return out;
}

// The instance's path as the structure browser shows it: key without the
// source file's namestring.
std::string model_status_instancename(const model_status& s);
// The model path of that instance when it is in session, else NIL.
host::lisp::ref model_status_selitem(const model_status& s);
// The staged file's name without type: the top-level instance's sysid.
std::string model_status_sysid(const model_status& s);

// Lisp: the structures RECORD-STATUS, AMI-DRAWING-STATUS and MODEL-STATUS.
void define_vt_analytics();

}  // namespace vtm::analytics

namespace vtm::core {

template <>
struct lisp_value<analytics::resolved_sysid> {
  static ref to(const analytics::resolved_sysid& v);
  static analytics::resolved_sysid from(const ref& v);
};
template <>
struct lisp_value<analytics::model_name_conflict> {
  static ref to(const analytics::model_name_conflict& v);
  static analytics::model_name_conflict from(const ref& v);
};

template <>
struct record_def<analytics::record_status> {
  using r = analytics::record_status;
  static constexpr std::string_view name = "RECORD-STATUS";
  static constexpr std::tuple slots{slot{"KEY", &r::key}, slot{"SOURCE", &r::source},
                                    slot{"STAGED", &r::staged}, slot{"TAGS", &r::tags}};
};
template <>
struct record_def<analytics::ami_drawing_status> {
  using r = analytics::ami_drawing_status;
  static constexpr std::string_view name = "AMI-DRAWING-STATUS";
  using include = analytics::record_status;
  static constexpr std::tuple slots{slot{"NAME", &r::name}, slot{"RESOLVED-SYSIDS", &r::resolved_sysids},
                                    slot{"MODEL-SYSIDS", &r::model_sysids}};
};
template <>
struct record_def<analytics::model_status> {
  using r = analytics::model_status;
  static constexpr std::string_view name = "MODEL-STATUS";
  using include = analytics::record_status;
  static constexpr std::tuple slots{slot{"TYPENAME", &r::typename_}, slot{"DISCONNECTS", &r::disconnects},
                                    slot{"CORRUPT", &r::corrupt},
                                    slot{"MODEL-NAME-CONFLICTS", &r::model_name_conflicts},
                                    slot{"ASSOCIATED-DRAWINGS", &r::associated_drawings}};
};

}  // namespace vtm::core
