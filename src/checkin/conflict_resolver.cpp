#include "checkin/conflict_resolver.h"

#include <vector>

#include "checkin/component_map.h"
#include "host/lisp/format.h"
#include "host/lisp/streams.h"
#include "host/model_tree.h"
#include "records/change_records.h"
#include "records/cluster_session.h"
#include "records/host_cluster_session.h"

namespace vtm::checkin {

namespace hl = host::lisp;
using records::component_record;
using records::contents_info;
using records::instance_info;

namespace {

const core::keyword_name sysid_conflict{"SYSID-CONFLICT"};

// The top-level model whose instance is `instance`.
records::model_path top_level_model(const hl::ref& instance, records::cluster_session& session) {
  const records::model_path root = records::from_sel_item(host::elan_ui::get_root_sel_item());
  for (records::model_path& top : session.obj_children(root))
    if (top.item.value == instance) return top;
  hl::simple_error("The top-level model " + session.sysid(instance) + " is no longer in session.");
}

// Whether the contents is another component than the one staged or resolved
// under its sysid. A record of another kind under that sysid is one too.
bool different_component(const contents_info& info, const component_record& reference,
                         records::cluster_session& session) {
  const auto* staged = std::get_if<contents_info>(&reference);
  if (!staged) return true;
  return !records::cluster_metakey_diff(records::contents_info_composite_key(info, session),
                                        staged->metakey.value_or(records::cluster_metakey{}))
              .empty();
}

// A sysid conflict recorded before for the contents, which preparing it
// logged over: the contents gets the sysid it received then.
std::optional<std::string> apply_shadowed_conflict(component_record& info, const shadowed_conflicts& shadowed,
                                                   records::change_records& logger,
                                                   records::cluster_session& session) {
  const auto* contents = std::get_if<contents_info>(&info);
  if (!contents) return std::nullopt;
  auto it = shadowed.find(records::contents_info_composite_key(*contents, session));
  if (it == shadowed.end()) return std::nullopt;
  const auto* after = std::get_if<records::cluster_composite_key>(&it->second.key_after);
  if (!after || !after->sysid) return std::nullopt;
  return records::change_component_info_sysid(info, *after->sysid, sysid_conflict, logger,
                                              contents->shares.front(), session);
}

}  // namespace

conflict_resolver make_conflict_resolver(const std::filesystem::path& dir) {
  return conflict_resolver(records::make_component_records(dir));
}

std::size_t invoke_conflict_resolver(conflict_resolver& self, const std::filesystem::path& sourcepath,
                                     const records::part_check& check, records::change_records& logger,
                                     records::cluster_session& session, const source_models& models) {
  records::ordered_table<std::string, component_record*> resolved;
  shadowed_conflicts shadowed;
  component_map map = make_component_map(sourcepath, check, logger, session, shadowed);
  top_level_sysids tops;
  std::vector<bool> earlier_used(models.earlier.size(), false);

  for (const auto& entry : map) {
    component_record& info = *map.find(entry.first);
    const hl::ref cluster = records::component_base(info).sysid.handle();
    std::string sysid = session.sysid(cluster);
    const auto* instance = std::get_if<instance_info>(&info);
    const auto model_location = [&] {
      return records::share(
          records::make_extended_location(location_prefix(sourcepath), top_level_model(cluster, session)));
    };
    if (instance) {
      // Staged before from this very file (an attempt that did not finish):
      // the model is the one staged then and gets the sysid it got then.
      std::size_t i = 0;
      while (i < models.earlier.size() && (earlier_used[i] || models.earlier[i].first != sysid)) ++i;
      if (i < models.earlier.size()) {
        earlier_used[i] = true;
        const std::string loaded = sysid;
        if (models.earlier[i].second != sysid)
          sysid = records::change_component_info_sysid(info, models.earlier[i].second, sysid_conflict, logger,
                                                       model_location(), session);
        tops.emplace_back(loaded, sysid);
        resolved.insert_or_assign(sysid, &info);
        continue;
      }
    }
    // A rerun gives the component the sysid it received the first time. It
    // is entered under that sysid: under the old one it would displace the
    // component that kept it, or clash with it when that comes later.
    std::optional<std::string> recorded = logger.apply_recorded_change(info, session);
    if (!recorded) recorded = apply_shadowed_conflict(info, shadowed, logger, session);
    if (recorded) {
      resolved.insert_or_assign(*recorded, &info);
      continue;
    }
    // A top-level model clashes with any record of its sysid, so its record
    // is not read; the record of a contents is kept for persisting it.
    const component_record* reference = nullptr;
    bool enforced = false, staged_model = false;
    if (component_record* const* earlier = resolved.find(sysid)) {
      reference = *earlier;
      enforced = true;
    } else if (instance) {
      staged_model = self.components().table().find(sysid) != nullptr;
    } else {
      reference = self.components().find_component_record(sysid);
    }
    const std::string loaded = sysid;
    if (reference || staged_model) {
      if (instance) {
        // A top-level model of another source file (or another input
        // directory) never replaces a staged one.
        const hl::ref name = hl::make_string(instance->name.value_or(""));
        hl::format(hl::standard_output(), "Scanning ~A for conflicts~%", hl::args_t(&name, 1));
        sysid = records::change_component_info_sysid(info, std::nullopt, sysid_conflict, logger,
                                                     model_location(), session);
      } else {
        const auto& contents = std::get<contents_info>(info);
        if (enforced || different_component(contents, *reference, session))
          sysid = records::change_component_info_sysid(info, std::nullopt, sysid_conflict, logger,
                                                       contents.shares.front(), session);
      }
    }
    if (instance) tops.emplace_back(loaded, sysid);
    resolved.insert_or_assign(sysid, &info);
  }

  logger.flush_change_records();
  if (models.record) models.record(tops);
  std::vector<component_record> components;
  components.reserve(resolved.size());
  for (const auto& [sysid, record] : resolved) components.push_back(std::move(*record));
  self.components().update_component_records(components, session);
  return resolved.size();
}

void finalize_conflict_resolver(conflict_resolver& self) { self.components().close_persistent_records(); }

}  // namespace vtm::checkin
