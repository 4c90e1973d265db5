#include "records/change_records.h"

#include <algorithm>

#include "records/cluster_session.h"
#include "records/record_print.h"
#include "records/record_text.h"

namespace vtm::records {

change_records make_change_records(const std::filesystem::path& dir) {
  change_records records(dir);
  const auto take = [&](change_info info) {
    records.changes_.insert_or_assign(info.key_before, std::move(info));
  };
  records.file_.open([&](const host::lisp::ref& form) { take(core::from_lisp<change_info>(form)); },
                     [&](record_text& text) {
                       std::optional<change_info> info = decode_record<change_info>(text);
                       if (info) take(std::move(*info));
                       return info.has_value();
                     });
  return records;
}

const change_info& change_records::log_component_change(std::string location, change_key key_before,
                                                        change_key key_after, core::keyword_name reason) {
  change_info info =
      make_change_info(std::move(location), std::move(key_before), std::move(key_after), std::move(reason));
  // A place is listed once, however often the change is made there again,
  // as a file processed again after a crash makes it.
  if (const change_info* old = changes_.find(info.key_before)) {
    std::vector<std::string> locations = old->locations;
    for (std::string& l : info.locations)
      if (std::find(locations.begin(), locations.end(), l) == locations.end())
        locations.push_back(std::move(l));
    info.locations = std::move(locations);
  }
  buffer_.push_front(info);
  return changes_.insert_or_assign(info.key_before, std::move(info));
}

const change_info& change_records::log_component_change(const share& location, change_key key_before,
                                                        change_key key_after, core::keyword_name reason,
                                                        cluster_session& session) {
  return log_component_change(share_string(location, session), std::move(key_before), std::move(key_after),
                              std::move(reason));
}

std::optional<std::string> change_records::apply_recorded_change(component_record& info,
                                                                 cluster_session& session) {
  auto* contents = std::get_if<contents_info>(&info);
  if (!contents) return std::nullopt;
  const change_info* change = changes_.find(contents_info_composite_key(*contents, session));
  if (!change || change->reason.name != "SYSID-CONFLICT") return std::nullopt;
  const auto* after = std::get_if<cluster_composite_key>(&change->key_after);
  if (!after || !after->sysid) return std::nullopt;
  // Logging the change replaces the record `change` points to.
  const std::string sysid = *after->sysid;
  const core::keyword_name reason = change->reason;
  const share location = contents->shares.empty() ? share() : contents->shares.front();
  return change_component_info_sysid(info, sysid, reason, *this, location, session);
}

void change_records::flush_change_records() {
  // The changes held for one file go out in one write.
  std::string printed;
  for (auto it = buffer_.rbegin(); it != buffer_.rend(); ++it)
    if (!print_record(*it, printed)) printed += file_.printed(core::to_lisp(*it));
  if (!printed.empty()) file_.append_printed(printed);
  buffer_.clear();
}

std::vector<change_info> change_records::change_records_log() const {
  std::vector<change_info> log;
  read_record_file(
      path(), [&](const host::lisp::ref& form) { log.push_back(core::from_lisp<change_info>(form)); },
      [&](record_text& text) {
        std::optional<change_info> info = decode_record<change_info>(text);
        if (info) log.push_back(std::move(*info));
        return info.has_value();
      });
  return log;
}

}  // namespace vtm::records
