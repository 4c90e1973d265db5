#include "records/component_records.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "host/lisp/errors.h"
#include "records/change_records.h"
#include "records/cluster_session.h"
#include "records/record_print.h"
#include "records/record_text.h"

namespace vtm::records {

namespace hl = host::lisp;

namespace {

// The strings of a persisted list.
template <class List>
std::vector<std::string> strings_of(const List& values) {
  using T = typename List::value_type;
  std::vector<std::string> out;
  out.reserve(values.size());
  for (const T& v : values) {
    if constexpr (std::is_same_v<T, share>) {
      if (const auto* s = std::get_if<std::string>(&v)) out.push_back(*s);
    } else if (v.persisted()) {
      out.push_back(v.string());
    }
  }
  return out;
}

std::vector<std::string> union_of(std::vector<std::string> old, std::vector<std::string> now) {
  std::vector<std::string> out;
  out.reserve(old.size() + now.size());  // the views below stay valid
  std::unordered_set<std::string_view> seen;
  seen.reserve(out.capacity());
  for (auto* list : {&old, &now})
    for (std::string& s : *list) {
      out.push_back(std::move(s));
      if (!seen.insert(out.back()).second) out.pop_back();
    }
  return out;
}

template <class List>
List as_values(const std::vector<std::string>& strings) {
  return List(strings.begin(), strings.end());
}

void persist_contents(contents_info& c, const hl::ref& cluster, const component_record* old,
                      cluster_session& session) {
  std::vector<std::string> shares = map_locations_to_pathnames(c.shares, session);
  std::vector<std::string> models = map_entities_to_sysids(c.model_sysids, session);
  std::vector<std::string> parents = map_entities_to_sysids(c.parent_sysids, session);
  std::vector<std::string> layout_owners = map_entities_to_sysids(c.layout_owner_sysids, session);
  c.child_sysids = as_values<sysid_list>(map_entities_to_sysids(c.child_sysids, session));
  c.metakey = make_cluster_metakey(cluster, session);
  if (const auto* o = old ? std::get_if<contents_info>(old) : nullptr) {
    shares = union_of(strings_of(o->shares), std::move(shares));
    models = union_of(strings_of(o->model_sysids), std::move(models));
    parents = union_of(strings_of(o->parent_sysids), std::move(parents));
    layout_owners = union_of(strings_of(o->layout_owner_sysids), std::move(layout_owners));
  }
  c.shares = as_values<share_list>(shares);
  c.model_sysids = as_values<sysid_list>(models);
  c.parent_sysids = as_values<sysid_list>(parents);
  c.layout_owner_sysids = as_values<sysid_list>(layout_owners);
}

}  // namespace

component_records make_component_records(const std::filesystem::path& dir) {
  component_records records(dir);
  // The sysid of the record just taken, entered with its place.
  std::string sysid;
  const auto take = [&](const component_record& r) {
    const sysid_value& s = component_base(r).sysid;
    if (!s.persisted()) hl::simple_error("The component record has no sysid string.");
    sysid = s.string();
  };
  // A record takes several hundred bytes; an index sized for the file is not
  // rehashed while it fills.
  std::error_code ec;
  const std::uintmax_t bytes = std::filesystem::file_size(records.path(), ec);
  if (!ec) records.table_.reserve(bytes / 512);
  // Decoded into the same record each time, whose strings and lists keep
  // their room from one record to the next.
  component_record decoded;
  records.file_.open([&](const hl::ref& form) { take(component_record_from_lisp(form)); },
                     [&](record_text& text) {
                       if (!decode_component_record(text, decoded)) return false;
                       take(decoded);
                       return true;
                     },
                     [&](record_place place) { records.table_.insert_or_assign(sysid, place); });
  records.reader_ = std::make_unique<record_reader>(records.path());
  return records;
}

void component_records::read_record(record_place place, component_record& out, std::uint64_t read_to) const {
  record_text cursor(reader_->text_at(place, read_to), 0);
  try {
    if (decode_component_record(cursor, out)) return;
  } catch (const hl::lisp_error&) {
    // The host's reader says what is wrong.
  }
  out = component_record_from_lisp(reader_->form_at(place));
}

void component_records::update_component_records(std::span<component_record> components,
                                                 cluster_session& session) {
  std::string& printed = printed_;
  try {
    for (component_record& record : components) {
      component_info& base = component_base(record);
      if (base.sysid.persisted()) continue;
      if (!base.sysid.in_session())
        hl::simple_error("A component record without cluster cannot be persisted in " + path().string() +
                         ".");
      const hl::ref cluster = base.sysid.handle();
      std::string sysid = session.sysid(cluster);
      base.sysid = sysid;
      base.filename = sysid + base.filename.extension().string();
      if (auto* instance = std::get_if<instance_info>(&record)) {
        instance->child_sysids =
            as_values<sysid_list>(map_entities_to_sysids(instance->child_sysids, session));
        if (instance->contents_sysid.in_session())
          instance->contents_sysid = session.sysid(instance->contents_sysid.handle());
      } else {
        persist_contents(std::get<contents_info>(record), cluster, find_component_record(sysid), session);
      }
      // A sysid given twice merges with the record written for it just now.
      found_.erase(sysid);
      session.set_cluster_filename(cluster, base.filename.string());
      // Each record is written and flushed on its own, as it is made.
      printed.clear();
      const std::uint64_t start = file_.size();
      if (print_component_record(record, printed))
        file_.append_printed(printed);
      else
        file_.append(component_record_to_lisp(record));
      table_.insert_or_assign(std::move(sysid), record_place{start, file_.size()});
    }
  } catch (...) {
    found_.clear();
    throw;
  }
  found_.clear();
}

const component_record* component_records::find_component_record(const std::string& sysid) {
  auto [it, fresh] = found_.try_emplace(sysid);
  if (const record_place* place = fresh ? table_.find(sysid) : nullptr) {
    try {
      it->second = std::make_unique<component_record>();
      read_record(*place, *it->second);
    } catch (...) {
      found_.erase(it);
      throw;
    }
  }
  return it->second.get();
}

std::optional<component_record> component_records::get_component_record_by_sysid(
    const std::string& sysid) const {
  const record_place* place = table_.find(sysid);
  if (!place) return std::nullopt;
  component_record r;
  read_record(*place, r);
  return r;
}

void component_records::for_each_component_record(
    const std::function<void(const component_record&)>& visit) const {
  visit_records(
      table_.size(), [](std::size_t k) { return k; },
      [&](std::size_t, const component_record& r) { visit(r); });
}

void component_records::for_each_component_record_backwards(
    const std::function<void(std::size_t position, const component_record&)>& visit) const {
  const std::size_t n = table_.size();
  visit_records(
      n, [n](std::size_t k) { return n - 1 - k; }, visit);
}

void component_records::for_each_component_record_at(
    std::span<const std::uint32_t> positions,
    const std::function<void(const component_record&)>& visit) const {
  visit_records(
      positions.size(), [&](std::size_t k) { return std::size_t(positions[k]); },
      [&](std::size_t, const component_record& r) { visit(r); });
}

const std::string& component_records::sysid_at(std::size_t position) const {
  return table_.at(position).first;
}

void component_records::visit_records(
    std::size_t count, const std::function<std::size_t(std::size_t)>& position_of,
    const std::function<void(std::size_t position, const component_record&)>& visit) const {
  // The records of a batch are read in file order, records close to each
  // other in one read, then visited in the order asked.
  std::vector<component_record> records;
  read_batches(count, position_of, [&](std::span<const std::size_t> positions, const batch_reader& read) {
    records.resize(positions.size());
    read([&](std::size_t i, record_place place, std::uint64_t read_to) {
      read_record(place, records[i], read_to);
    });
    for (std::size_t i = 0; i < positions.size(); ++i) visit(positions[i], records[i]);
  });
}

void component_records::for_each_record_text_backwards(
    const std::function<void(std::size_t position, std::string_view text)>& visit) const {
  // A batch's texts are copied as they are read, then visited in table order.
  std::string texts;
  std::vector<std::pair<std::size_t, std::size_t>> spans;  // offset and length in texts
  const std::size_t n = table_.size();
  read_batches(
      n, [n](std::size_t k) { return n - 1 - k; },
      [&](std::span<const std::size_t> positions, const batch_reader& read) {
        texts.clear();
        spans.resize(positions.size());
        read([&](std::size_t i, record_place place, std::uint64_t read_to) {
          const std::string_view text = reader_->text_at(place, read_to);
          spans[i] = {texts.size(), text.size()};
          texts += text;
        });
        for (std::size_t i = 0; i < positions.size(); ++i)
          visit(positions[i], std::string_view(texts).substr(spans[i].first, spans[i].second));
      });
}

void component_records::read_batches(
    std::size_t count, const std::function<std::size_t(std::size_t)>& position_of,
    const std::function<void(std::span<const std::size_t>, const batch_reader&)>& take) const {
  constexpr std::size_t batch = 1024;
  constexpr std::uint64_t close_by = 4 << 10, one_read = 256 << 10;
  std::vector<std::size_t> positions;
  std::vector<record_place> places;
  std::vector<std::size_t> order;
  // Reads the batch in file order: each record with the end of the run of
  // records close together that starts there, read along with it.
  const batch_reader read = [&](const std::function<void(std::size_t, record_place, std::uint64_t)>& one) {
    order.resize(places.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return places[a].start < places[b].start; });
    for (std::size_t k = 0; k < order.size(); ++k) {
      std::uint64_t read_to = places[order[k]].end;
      for (std::size_t m = k + 1; m < order.size(); ++m) {
        const record_place& next = places[order[m]];
        if (next.start > read_to + close_by || next.end > places[order[k]].start + one_read) break;
        read_to = std::max(read_to, next.end);
      }
      one(order[k], places[order[k]], read_to);
    }
  };
  const auto take_batch = [&] {
    if (!positions.empty()) take(positions, read);
    positions.clear();
    places.clear();
  };
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t at = position_of(k);
    positions.push_back(at);
    places.push_back(table_.at(at).second);
    if (places.size() == batch) take_batch();
  }
  take_batch();
}

std::vector<component_record> component_records::collect_component_records(
    const std::function<bool(const component_record&)>& test) const {
  std::vector<component_record> out;
  for_each_component_record([&](const component_record& r) {
    if (!test || test(r)) out.push_back(r);
  });
  return out;
}

std::vector<component_record> component_records::collect_component_records_by_sysids(
    const std::vector<std::string>& sysids) const {
  std::vector<component_record> out;
  for (const std::string& s : sysids)
    if (std::optional<component_record> r = get_component_record_by_sysid(s)) out.push_back(std::move(*r));
  return out;
}

std::vector<std::optional<component_record>> component_records::collect_models_of_component(
    const component_record& component) const {
  if (std::holds_alternative<instance_info>(component)) return {component};
  std::vector<std::optional<component_record>> out;
  for (const sysid_value& m : std::get<contents_info>(component).model_sysids)
    out.push_back(m.persisted() ? get_component_record_by_sysid(m.string()) : std::nullopt);
  return out;
}

std::vector<component_record> component_records::collect_component_owners(const std::string& sysid) const {
  const std::optional<component_record> r = get_component_record_by_sysid(sysid);
  const auto* contents = r ? std::get_if<contents_info>(&*r) : nullptr;
  if (!contents) return {};
  return collect_component_records_by_sysids(strings_of(contents->parent_sysids));
}

std::vector<std::pair<std::optional<component_record>, component_record>>
component_records::collect_lost_components(const change_records& changelog) const {
  std::vector<std::pair<std::optional<component_record>, component_record>> found;
  for (const auto& [key, change] : changelog.changes()) {
    if (change.reason.name != "SYSID-CONFLICT") continue;
    const auto* after = std::get_if<cluster_composite_key>(&change.key_after);
    if (!after || !after->sysid) continue;
    const std::string& sysid = *after->sysid;
    std::vector<component_record> owners = collect_component_owners(sysid);
    if (owners.empty()) continue;
    const std::optional<component_record> component = get_component_record_by_sysid(sysid);
    for (component_record& owner : owners)
      if (!component_connected_p(component_base(owner), sysid))
        found.emplace_back(component, std::move(owner));
  }
  return {std::make_move_iterator(found.rbegin()), std::make_move_iterator(found.rend())};
}

std::vector<component_records::record_map> component_records::map_contents(
    const std::vector<contents_keys>& keys_of) const {
  std::vector<record_map> maps(keys_of.size());
  // Most recently added first; the keys enter the map in that order too,
  // which decides the order the map is walked in.
  for_each_component_record_backwards([&](std::size_t, const component_record& r) {
    if (const auto* c = std::get_if<contents_info>(&r))
      for (std::size_t i = 0; i < keys_of.size(); ++i)
        keys_of[i](*c, [&](const std::string& key) { maps[i][key].push_back(c->sysid.string()); });
  });
  return maps;
}

namespace {

void layout_owner_keys(const contents_info& c, const std::function<void(const std::string&)>& add) {
  for (const std::string& owner : strings_of(c.layout_owner_sysids)) add(owner);
}

auto model_name_keys(const std::function<bool(const std::string&)>& wanted) {
  return [&wanted](const contents_info& c, const std::function<void(const std::string&)>& add) {
    if (auto name = contents_info_model_name(c); name && (!wanted || wanted(*name))) add(*name);
  };
}

}  // namespace

component_records::record_map component_records::make_layout_owner_map() const {
  return std::move(map_contents({layout_owner_keys})[0]);
}

component_records::record_map component_records::make_model_name_map(
    const std::function<bool(const std::string&)>& wanted) const {
  return std::move(map_contents({model_name_keys(wanted)})[0]);
}

}  // namespace vtm::records
