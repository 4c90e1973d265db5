#include "analytics/status_records.h"

#include <algorithm>

#include "analytics/analytics_file.h"
#include "host/lisp/errors.h"
#include "host/lisp/pathnames.h"
#include "host/model_tree.h"

namespace vtm::analytics {

namespace hl = host::lisp;

namespace {

constexpr std::array<std::string_view, 5> model_tags = {"TOP-LEVEL-WP", "MODEL-NAME-CONFLICT", "CORRUPT",
                                                        "DISCONNECTED", "SAVE-FAILED"};

bool has_tag(const record_status& s, std::string_view tag) {
  return std::any_of(s.tags.begin(), s.tags.end(),
                     [&](const core::keyword_name& t) { return t.name == tag; });
}

}  // namespace

category ami_drawing_status_category(const ami_drawing_status& s) {
  const std::string last = s.tags.empty() ? std::string() : s.tags.back().name;
  if (last == "FULLY-ASSOCIATED") return category::ok;
  if (last == "PARTIALLY-ASSOCIATED" || last == "ASSOCIATED-BY-MODEL-NAME") return category::warnings;
  // :ORPHAN, and a tag no analysis gives, are errors.
  return category::errors;
}

category model_status_category(const model_status& s) {
  if (s.tags.empty()) return category::ok;
  for (const core::keyword_name& t : s.tags)
    if (std::find(model_tags.begin(), model_tags.end(), t.name) == model_tags.end()) return category::ok;
  if (has_tag(s, "CORRUPT") || has_tag(s, "DISCONNECTED") || has_tag(s, "SAVE-FAILED"))
    return category::errors;
  return category::warnings;
}

void update_ami_drawing_analytics(ami_drawing_analytics& c, const ami_drawing_status& status,
                                  const std::optional<std::filesystem::path>& flush_to) {
  if (flush_to) append_analytics_file(*flush_to, core::to_lisp(status));
  c.table(ami_drawing_status_category(status)).insert_or_assign(status.key, status);
}

void update_model_analytics(model_analytics& c, const model_status& status,
                            const std::optional<std::filesystem::path>& flush_to) {
  if (flush_to) append_analytics_file(*flush_to, core::to_lisp(status));
  c.table(model_status_category(status)).insert_or_assign(status.key, status);
}

void update_ami_drawing_analytics(ami_drawing_analytics& c, ami_drawing_status&& status) {
  auto& table = c.table(ami_drawing_status_category(status));
  table.insert_or_assign(status.key, std::move(status));
}

void update_model_analytics(model_analytics& c, model_status&& status) {
  auto& table = c.table(model_status_category(status));
  table.insert_or_assign(status.key, std::move(status));
}

std::string model_status_instancename(const model_status& s) {
  const std::size_t n = hl::char_length(s.source.string());
  // Characters, not bytes: a source path may hold non-ASCII names.
  std::size_t bytes = 0;
  for (std::size_t chars = 0; bytes < s.key.size() && chars < n; ++chars) {
    ++bytes;
    while (bytes < s.key.size() && (static_cast<unsigned char>(s.key[bytes]) & 0xC0) == 0x80) ++bytes;
  }
  return s.key.substr(bytes);
}

hl::ref model_status_selitem(const model_status& s) {
  return host::oli::sd_pathname_to_obj(model_status_instancename(s));
}

std::string model_status_sysid(const model_status& s) { return s.staged.stem().string(); }

void define_vt_analytics() {
  core::lisp_type<record_status>();
  core::lisp_type<ami_drawing_status>();
  core::lisp_type<model_status>();
}

}  // namespace vtm::analytics

namespace vtm::core {

namespace hl = host::lisp;

ref lisp_value<analytics::resolved_sysid>::to(const analytics::resolved_sysid& v) {
  return hl::list({lisp_value<std::string>::to(v.instance_sysid),
                   lisp_value<std::vector<std::string>>::to(v.contents_sysids)});
}

analytics::resolved_sysid lisp_value<analytics::resolved_sysid>::from(const ref& v) {
  if (!hl::consp(v) || hl::list_length(v) != 2) hl::type_error(v, "(CONS STRING (CONS LIST NULL))");
  return {lisp_value<std::string>::from(hl::car(v)),
          lisp_value<std::vector<std::string>>::from(hl::car(hl::cdr(v)))};
}

ref lisp_value<analytics::model_name_conflict>::to(const analytics::model_name_conflict& v) {
  return hl::cons(lisp_value<std::string>::to(v.name), lisp_value<std::vector<std::string>>::to(v.sysids));
}

analytics::model_name_conflict lisp_value<analytics::model_name_conflict>::from(const ref& v) {
  if (!hl::consp(v)) hl::type_error(v, "CONS");
  return {lisp_value<std::string>::from(hl::car(v)), lisp_value<std::vector<std::string>>::from(hl::cdr(v))};
}

}  // namespace vtm::core
