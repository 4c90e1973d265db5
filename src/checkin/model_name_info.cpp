#include "checkin/model_name_info.h"

#include "checkin/name_query.h"
#include "checkin/name_tracking.h"
#include "host/lisp/packages.h"
#include "records/cluster_session.h"
#include "records/host_cluster_session.h"

namespace vtm::checkin {

namespace hl = host::lisp;

namespace {

// The fields of text between separators.
std::vector<std::string> fields(const std::string& text, char separator) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    out.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return out;
    start = end + 1;
  }
}

hl::ref optional_text(const std::optional<std::string>& v) { return v ? hl::make_string(*v) : hl::nil(); }
hl::ref optional_path(const std::optional<records::model_path>& p) {
  return p ? records::to_sel_item(*p) : hl::nil();
}
hl::ref kw(std::string_view name) { return hl::ref(&hl::keyword(name)); }

}  // namespace

cluster_shares_entry* model_name_info::entry_of(const hl::ref& cluster) {
  for (cluster_shares_entry& e : cluster_shares)
    if (e.cluster == cluster) return &e;
  return nullptr;
}

cluster_shares_entry& model_name_info::add_share(const hl::ref& cluster, const records::model_path& share) {
  cluster_shares_entry* e = entry_of(cluster);
  if (!e) e = &cluster_shares.emplace_back(cluster_shares_entry{cluster, {}, std::nullopt});
  e->shares.push_front(share);
  return *e;
}

model_name_info& query_model_name_info(model_name_info& info, bool cached) {
  const name_query_answer answer = query_component_by_model_name(info.model_name, 100, cached);
  info.query_failed = answer.failed();
  if (answer.failed()) {
    info.elid = answer.error;
    return info;
  }
  const std::string* elid = answer.record ? answer.record->field("ELID") : nullptr;
  if (!elid) {
    info.elid.reset();
    info.elid_text.reset();
    info.db_model_state.reset();
    return info;
  }
  const database_record& r = *answer.record;
  const std::vector<std::string> id = fields(r.value("UNIQUE_ID_STRING"), '|');
  info.elid = *elid;
  info.elid_text = id[0] + (id.size() > 1 ? id[1] : "") + r.value("STATE");
  info.db_model_state = r.value("STATE");
  info.db_model_type = fields(r.value("MODEL_OBJTYPE"), '-')[0];
  return info;
}

int name_double_count(const model_name_info& info, records::cluster_session& session) {
  int count = int(info.cluster_shares.size());
  if (info.db_model && info.elid) {
    const hl::ref db_contents = session.get_contents(*info.db_model);
    for (const cluster_shares_entry& e : info.cluster_shares)
      if (e.cluster == db_contents) return count - 1;
  }
  return count;
}

bool name_has_doubles_p(const model_name_info& info, records::cluster_session& session) {
  const int count = name_double_count(info, session);
  if (count > 1) return true;
  return info.elid && count > 0;
}

std::optional<records::model_path> first_share(const model_name_info& info,
                                               const cluster_shares_entry& entry) {
  if (!entry.tracking_feature) {
    if (entry.shares.empty()) return std::nullopt;
    return entry.shares.front();
  }
  std::vector<records::model_path> shares = model_name_info_shares_of_cluster(info, entry.cluster);
  if (shares.empty()) return std::nullopt;
  return shares.front();
}

std::optional<records::model_path> model_name_info_selitem(const model_name_info& info) {
  if (info.local_model) return info.local_model;
  if (info.cluster_shares.empty()) return std::nullopt;
  return first_share(info, info.cluster_shares.front());
}

hl::ref model_name_info_plist(const model_name_info& info) {
  std::vector<hl::ref> shares;
  for (const cluster_shares_entry& e : info.cluster_shares) {
    std::vector<hl::ref> value;
    if (e.tracking_feature) {
      shares.push_back(hl::cons(e.cluster, records::to_sel_item(*e.tracking_feature)));
      continue;
    }
    for (const records::model_path& s : e.shares) value.push_back(records::to_sel_item(s));
    shares.push_back(hl::cons(e.cluster, hl::list_from(value)));
  }
  // :model-type is the type the database or the model in session gives the
  // name; :local_model the reference model.
  return hl::list({kw("MODEL-NAME"), hl::make_string(info.model_name), kw("MODEL-TYPE"),
                   optional_text(info.db_model_type), kw("ELID"), optional_text(info.elid), kw("ELID-TEXT"),
                   optional_text(info.elid_text), kw("DB-MODEL"), optional_path(info.db_model),
                   kw("DB-MODEL-STATE"), optional_text(info.db_model_state), kw("DB-MODEL-TYPE"),
                   optional_text(info.db_model_type), kw("LOCAL_MODEL"), optional_path(info.local_model),
                   kw("CLUSTER-SHARES"), hl::list_from(shares)});
}

}  // namespace vtm::checkin
