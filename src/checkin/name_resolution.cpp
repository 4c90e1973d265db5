#include "checkin/name_resolution.h"

#include "checkin/name_tracking.h"
#include "host/events.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/streams.h"
#include "host/mm_commands.h"
#include "host/mm_compare.h"
#include "host/model_tree.h"
#include "host/undo.h"
#include "records/cluster_session.h"
#include "records/contents_substitution.h"
#include "records/host_cluster_session.h"
#include "records/model_names.h"

namespace vtm::checkin {

namespace hl = host::lisp;

namespace {

hl::ref sel_item_or_nil(const std::optional<records::model_path>& p) {
  return p ? records::to_sel_item(*p) : hl::nil();
}

void note_state() { host::dsm::note_state(host::k2::k2_state_manager()); }

// replace-contents, with the host's refusal answered as false.
bool replace(const records::model_path& target, const records::model_path& by,
             records::cluster_session& session) {
  try {
    return records::replace_contents(target, session.get_contents(by), session);
  } catch (const hl::lisp_error& e) {
    hl::standard_output() << e.message() << "\n";
    return false;
  }
}

resolution_result apply(model_name_info& info, resolution how, records::cluster_session& session) {
  const bool local_conflict = !info.elid;
  if (!info.local_model) return resolution_result::none;
  switch (how) {
    case resolution::rename_local:
      records::assign_unique_model_name(session.get_contents(*info.local_model), session);
      return resolution_result::rename;
    case resolution::rename_check:
      if (!local_conflict || !info.db_model) return resolution_result::none;
      records::assign_unique_model_name(session.get_contents(*info.db_model), session);
      info.db_model = info.local_model;
      return resolution_result::rename;
    case resolution::replace_local_by_db:
      if (info.db_model && hl::list_length(info.local_model->path.value) > 2)
        return replace(*info.local_model, *info.db_model, session) ? resolution_result::replace
                                                                   : resolution_result::none;
      // A reload needs a database object to reload from.
      if (!info.elid || info.query_failed) return resolution_result::none;
      host::modelmanager::mm_send_cmd(hl::format(
          "RELOAD '~A' '~A' 'false' 'false' '~A'", hl::make_string(session.obj_pathname(*info.local_model)),
          hl::make_string(*info.elid), hl::ref(&hl::keyword("CONTENTS"))));
      return resolution_result::reload;
    case resolution::replace_check_by_reference:
      if (!local_conflict || !info.db_model) return resolution_result::none;
      return replace(*info.db_model, *info.local_model, session) ? resolution_result::replace
                                                                 : resolution_result::none;
    case resolution::replace_reference_by_check:
      if (!local_conflict || !info.db_model) return resolution_result::none;
      return replace(*info.local_model, *info.db_model, session) ? resolution_result::replace
                                                                 : resolution_result::none;
  }
  return resolution_result::none;
}

}  // namespace

std::optional<resolution> resolution_from_keyword(std::string_view name) {
  if (name == "RENAME-LOCAL") return resolution::rename_local;
  if (name == "RENAME-CHECK") return resolution::rename_check;
  if (name == "REPLACE-LOCAL-BY-DB") return resolution::replace_local_by_db;
  if (name == "REPLACE-CHECK-BY-REFERENCE") return resolution::replace_check_by_reference;
  if (name == "REPLACE-REFERENCE-BY-CHECK") return resolution::replace_reference_by_check;
  return std::nullopt;
}

void ready_name_conflict_resolution(model_name_info& info, records::cluster_session& session) {
  const hl::ref db_contents = info.db_model ? session.get_contents(*info.db_model) : hl::nil();
  std::vector<const cluster_shares_entry*> local;
  for (const cluster_shares_entry& e : info.cluster_shares)
    if (!(info.db_model && e.cluster == db_contents)) local.push_back(&e);
  info.local_model = local.empty() ? std::nullopt : first_share(info, *local[0]);
  if (!info.elid && !info.db_model && local.size() > 1) info.db_model = first_share(info, *local[1]);
  hl::standard_output() << hl::format("db-model ~A local-model ~A~%", sel_item_or_nil(info.db_model),
                                      sel_item_or_nil(info.local_model));
}

model_name_info& compare_name_doubles(model_name_info& info) {
  const hl::ref reference = sel_item_or_nil(info.local_model);
  host::modelmanager::reset_model_buffer();
  hl::set_symbol_value(host::modelmanager::local_model_variable(), reference);
  hl::set_symbol_value(host::modelmanager::local_model_path_variable(), reference);
  if (info.elid && !info.db_model) {
    if (info.query_failed) {
      hl::standard_output() << hl::format("No database model of ~S to compare: ~A~%",
                                          hl::make_string(info.model_name), hl::make_string(*info.elid));
      return info;
    }
    hl::set_symbol_value(host::cl_user::db_aip_ui_last_load_result_variable(), hl::nil());
    host::modelmanager::mm_send_cmd(
        hl::format("LOAD '~A' '(modelmanager::cr-compare-models-callback)' 'false' '~A' 'LOAD_AS_VERSION' "
                   "'DO_NOT_APPLY_LOAD_AND_POSITION'",
                   hl::make_string(*info.elid), host::modelmanager::get_loadtype_for_compare(reference)));
    return info;
  }
  const hl::ref check = sel_item_or_nil(info.db_model);
  hl::set_symbol_value(host::cl_user::db_aip_ui_last_load_result_variable(), hl::list({check}));
  hl::set_symbol_value(host::modelmanager::db_model_variable(), check);
  hl::set_symbol_value(host::modelmanager::db_model_path_variable(),
                       info.elid ? host::oli::sd_inq_obj_pathname(check) : check);
  host::modelmanager::cr_compare_models_callback();
  return info;
}

resolution_result resolve_name_conflict(model_name_info& info, std::optional<resolution> how,
                                        records::cluster_session& session) {
  note_state();
  const resolution_result result = how ? apply(info, *how, session) : resolution_result::none;
  if (result == resolution_result::reload) return result;
  host::event::process_event(host::event::changed_parcel_tree_event());
  note_state();
  info.local_model.reset();
  update_model_name_info(info, session);
  return result;
}

}  // namespace vtm::checkin
