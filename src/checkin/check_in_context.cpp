#include "checkin/check_in_context.h"

#include <unordered_set>

#include "analytics/analytics_file.h"
#include "analytics/migration_analytics.h"
#include "checkin/name_query.h"
#include "checkin/name_tracking.h"
#include "host/clusters.h"
#include "host/features.h"
#include "host/lisp/errors.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/mm_commands.h"
#include "host/model_tree.h"
#include "records/cluster_session.h"
#include "records/host_cluster_session.h"
#include "records/model_names.h"
#include "records/model_tree.h"

namespace vtm::checkin {

namespace hl = host::lisp;

namespace {

hl::ref kw(std::string_view name) { return hl::ref(&hl::keyword(name)); }

bool has_tag(const analytics::record_status& s, std::string_view tag) {
  for (const core::keyword_name& t : s.tags)
    if (t.name == tag) return true;
  return false;
}

std::string text_of(const hl::ref& value) {
  return hl::stringp(value) ? hl::as_string(value) : hl::princ_to_string(value);
}

// Scans the model from its top: model name (sanitized) -> the clusters that
// carry it with their shares. Contents without a name are named after their
// instance, made unique, and not recorded for that instance.
linked_table<std::string, model_name_info> scan_model_names(const records::model_path& top,
                                                            records::cluster_session& session) {
  linked_table<std::string, model_name_info> names;
  records::for_each_instance(
      top,
      [&](const records::model_path& node) {
        const hl::ref c = session.get_contents(node);
        if (!hl::is_nil(c) && session.real_cluster_p(c)) {
          const hl::ref instance = session.get_instance(node);
          if (hl::is_nil(host::elan::inquire_name(c))) {
            session.assign_name(c, session.name(instance));
            records::assign_unique_model_name(c, session);
          } else {
            const std::string name = records::sanitize_model_name(c, session);
            model_name_info* info = names.find(name);
            if (!info) {
              model_name_info fresh;
              fresh.model_name = name;
              fresh.db_model_type = session.entity_type_name(instance);
              info = &names.insert_or_assign(name, std::move(fresh));
            }
            info->add_share(c, node);
          }
        }
        return !host::oli::sd_inq_inseparable_p(records::to_sel_item(node));
      },
      session);
  return names;
}

// The database component already in session: the first cluster carrying a
// database reference with an element id.
bool adopt_database_component(model_name_info& info, records::cluster_session& session) {
  for (const cluster_shares_entry& e : info.cluster_shares) {
    const hl::ref uda = host::modelmanager::sd_db_get_uda_contents_by_name(
        e.cluster, "DB-DREF", {kw("ELID"), kw("UNIQUE_ID_STRING")});
    const hl::ref plist = hl::consp(uda) ? hl::car(uda) : hl::nil();
    const hl::ref elid = hl::getf(plist, kw("ELID"));
    if (hl::is_nil(elid)) continue;
    const hl::ref unique_id = hl::getf(plist, kw("UNIQUE_ID_STRING"));
    hl::standard_output() << hl::format("Elid ~A (~A) in session for model-name ~S~%", elid, unique_id,
                                        hl::make_string(info.model_name));
    info.elid = text_of(elid);
    info.query_failed = false;
    info.elid_text = hl::is_nil(unique_id) ? std::nullopt : std::optional<std::string>(text_of(unique_id));
    info.db_model = first_share(info, e);
    if (info.db_model) info.db_model_type = session.entity_type_name(session.get_instance(*info.db_model));
    return true;
  }
  return false;
}

// The records leaving current_conflicts take their tracking features with
// them: nothing asks those features again, and left in the model every
// re-analysis would add a full set that each later clean-up walks.
void drop_current_conflicts(check_in_context& context) {
  for (const auto& [name, info] : context.current_conflicts)
    for (cluster_shares_entry& e : info->cluster_shares)
      if (e.tracking_feature) {
        host::dsm::destroy(e.tracking_feature->item.value);
        e.tracking_feature.reset();
      }
  context.current_conflicts.clear();
}

}  // namespace

check_in_context make_check_in_context(const std::filesystem::path& stagingdir) {
  std::optional<analytics::migration_analytics> loaded = analytics::load_migration_analytics(stagingdir);
  if (!loaded)
    hl::simple_error("The staging directory " + stagingdir.string() + " has no analytics file " +
                     analytics::analytics_file_path(stagingdir).string());
  check_in_context context;
  context.stagingdir = stagingdir;
  const analytics::model_analytics& models = loaded->for_models;
  for (const auto* table : {&models.warnings, &models.errors, &models.ready_for_checkin})
    for (const auto& [key, status] : *table)
      if (!has_tag(status, "TOP-LEVEL-WP"))
        context.model_queue.insert_or_assign(status.staged.string(),
                                             std::make_shared<analytics::model_status>(status));
  for (const auto& [key, status] : context.model_queue)
    if (has_tag(*status, "CHECKED-IN")) ++context.models_checked_in_;
  const analytics::ami_drawing_analytics& drawings = loaded->for_drawings;
  for (const auto* table : {&drawings.warnings, &drawings.ready_for_checkin})
    for (const auto& [key, status] : *table)
      context.drawing_queue.insert_or_assign(status.staged.string(),
                                             std::make_shared<analytics::ami_drawing_status>(status));
  context.model_analytics = std::move(loaded->for_models);
  context.drawing_analytics = std::move(loaded->for_drawings);
  return context;
}

void set_check_in_context_current_model(check_in_context& context, model_status_ptr model,
                                        records::cluster_session& session) {
  if (!model) {
    drop_current_conflicts(context);
    context.current_name_conflict.reset();
    context.current_drawing.reset();
    context.current_model_.reset();
    return;
  }
  if (model != context.current_model_) clear_name_query_cache();
  const hl::ref top = analytics::model_status_selitem(*model);
  if (hl::is_nil(top))
    hl::simple_error(hl::format("The model ~A is not in session.",
                                hl::make_string(analytics::model_status_instancename(*model))));
  linked_table<std::string, model_name_info> names = scan_model_names(records::from_sel_item(top), session);
  drop_current_conflicts(context);
  for (auto& [name, info] : names) {
    if (!adopt_database_component(info, session)) query_model_name_info(info);
    if (name_has_doubles_p(info, session)) {
      track_model_name_info(info);
      context.current_conflicts.insert_or_assign(name, std::make_shared<model_name_info>(std::move(info)));
    }
  }
  context.current_drawings.clear();
  for (const records::record_path& drawing : model->associated_drawings) {
    const drawing_status_ptr* queued = context.drawing_queue.find(drawing.string());
    context.current_drawings.push_back(queued ? *queued : nullptr);
  }
  context.current_drawing.reset();
  context.current_name_conflict.reset();
  context.current_model_ = std::move(model);
}

void cleanup_conflict_queue(check_in_context& context, records::cluster_session& session) {
  std::unordered_set<const LAOBJ*> alive;
  for (const hl::ref& feature : hl::list_to_vector(
           host::k2::search_universal_feature(host::oli::get_instance(host::elan_ui::get_root_sel_item()))))
    if (!hl::is_nil(hl::getf(host::k2::universal_feature_properties(feature), kw(tracking_name_property))))
      alive.insert(feature.get());
  for (auto& [name, info] : context.current_conflicts) {
    std::erase_if(info->cluster_shares, [&](const cluster_shares_entry& e) {
      if (!e.tracking_feature || alive.count(e.tracking_feature->item.value.get())) return false;
      hl::standard_output() << hl::format("cleanup-conflict-queue: Removing dead tracking feature from ~S~%",
                                          hl::make_string(info->model_name));
      return true;
    });
  }
  for (auto it = context.current_conflicts.begin(); it != context.current_conflicts.end();) {
    update_model_name_info(*it->second, session);
    if (name_has_doubles_p(*it->second, session)) {
      ++it;
      continue;
    }
    hl::standard_output() << hl::format("cleanup-conflict-queue: ~S no longer has conflicts~%",
                                        hl::make_string(it->first));
    it = context.current_conflicts.erase(it);
  }
  if (context.current_name_conflict && !name_has_doubles_p(*context.current_name_conflict, session))
    context.current_name_conflict.reset();
}

void mark_model_checked_in(check_in_context& context, analytics::model_status& model) {
  if (has_tag(model, "CHECKED-IN")) return;
  model.tags.insert(model.tags.begin(), core::keyword_name{"CHECKED-IN"});
  const model_status_ptr* queued = context.model_queue.find(model.staged.string());
  if (queued && queued->get() == &model) ++context.models_checked_in_;
}

int check_in_context_remaining_models(const check_in_context& context) {
  return int(context.model_queue.size()) - context.models_checked_in_;
}

int check_in_context_remaining_name_conflicts(const check_in_context& context) {
  return int(context.current_conflicts.size());
}

}  // namespace vtm::checkin
