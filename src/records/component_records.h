// components.lsp: the newest record of every staged component, keyed by
// sysid, and the queries over them used by the resolver, the analytics and
// the report.
//
// A migration stages hundreds of thousands of components, so the table keeps
// only where each sysid's newest record lies in the file; the queries read
// and decode records from there when asked and return them by value.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "records/file_records.h"
#include "records/ordered_table.h"
#include "records/persistent_records.h"
#include "records/staging_layout.h"

namespace vtm::records {

class change_records;
class cluster_session;

class component_records : public persistent_records {
 public:
  using table_type = ordered_table<std::string, record_place>;
  // A key -> the sysids of contents records.
  using record_map = std::unordered_map<std::string, std::vector<std::string>>;

  // Sysid -> the place of its newest record, in table order.
  const table_type& table() const { return table_; }

  // Persists every record of components still in session, in order: its
  // handles become sysid and path strings (read from the session), its file
  // name takes the cluster's sysid, the host is told that file name, and the
  // record is entered under its sysid. A contents the table holds already
  // gets the union of the old and new shares, model, parent and layout-owner
  // sysids (old ones first, no duplicates; child sysids are not merged).
  // Records persisted before are left alone. Each record is written and
  // flushed as it is made.
  void update_component_records(std::span<component_record> components, cluster_session& session);

  std::optional<component_record> get_component_record_by_sysid(const std::string& sysid) const;
  // The newest record of sysid, or nullptr. It is kept until the next
  // update_component_records, which merges into it without reading it again.
  const component_record* find_component_record(const std::string& sysid);
  // Visits every record in table order, one at a time.
  void for_each_component_record(const std::function<void(const component_record&)>& visit) const;
  // Visits every record in reverse table order (the most recently added
  // first) with its position in table order.
  void for_each_component_record_backwards(
      const std::function<void(std::size_t position, const component_record&)>& visit) const;
  // Visits the records at the table positions given, in that order.
  void for_each_component_record_at(std::span<const std::uint32_t> positions,
                                    const std::function<void(const component_record&)>& visit) const;
  // The sysid at a table position.
  const std::string& sysid_at(std::size_t position) const;
  // Visits the text of every record (as record_text reads it) in reverse
  // table order with its position, for a reader that decodes only what it
  // needs; the text lasts for the call.
  void for_each_record_text_backwards(
      const std::function<void(std::size_t position, std::string_view text)>& visit) const;
  // Every record (table order) for which test is true; all without a test.
  std::vector<component_record> collect_component_records(
      const std::function<bool(const component_record&)>& test = {}) const;
  // The records of the sysids found, in the order of sysids.
  std::vector<component_record> collect_component_records_by_sysids(
      const std::vector<std::string>& sysids) const;
  // A contents: the record of each of its model sysids (nothing for an
  // unknown one); an instance: the record itself.
  std::vector<std::optional<component_record>> collect_models_of_component(
      const component_record& component) const;
  // The records of the parent sysids of the contents under sysid; none for an
  // instance or an unknown sysid.
  std::vector<component_record> collect_component_owners(const std::string& sysid) const;
  // (component . former owner) for every component that received a new sysid
  // in a sysid conflict and whose owner no longer lists it as a child; most
  // recently found first.
  std::vector<std::pair<std::optional<component_record>, component_record>> collect_lost_components(
      const change_records& changelog) const;
  // Layout-owner sysid -> the contents whose layout it owns, most recently
  // added first.
  record_map make_layout_owner_map() const;
  // Model name -> the contents of that name, most recently added first.
  // Contents without a model name are left out, and with `wanted` the names
  // it refuses.
  record_map make_model_name_map(const std::function<bool(const std::string&)>& wanted = {}) const;

 private:
  friend component_records make_component_records(const std::filesystem::path& dir);
  explicit component_records(const std::filesystem::path& dir) : persistent_records(dir, components_file) {}
  // Visits the records at position_of(0), ..., position_of(count - 1), one
  // at a time, reading a batch of them at once.
  void visit_records(std::size_t count, const std::function<std::size_t(std::size_t)>& position_of,
                     const std::function<void(std::size_t position, const component_record&)>& visit) const;
  // Reads a batch: calls its argument with each record's index in the
  // batch, place and the end of the bytes to read along with it, in file order.
  using batch_reader =
      std::function<void(const std::function<void(std::size_t, record_place, std::uint64_t)>&)>;
  // Takes the records at position_of(0), ..., position_of(count - 1) in
  // batches: their positions, and the reader of the batch.
  void read_batches(std::size_t count, const std::function<std::size_t(std::size_t)>& position_of,
                    const std::function<void(std::span<const std::size_t>, const batch_reader&)>& take) const;
  // Decodes the record at place into out, whose room is reused.
  void read_record(record_place place, component_record& out, std::uint64_t read_to = 0) const;
  using contents_keys =
      std::function<void(const contents_info&, const std::function<void(const std::string&)>&)>;
  // For each keys_of, a map key -> the sysids of the contents records, most
  // recently added first; keys_of gives a record's keys.
  std::vector<record_map> map_contents(const std::vector<contents_keys>& keys_of) const;

  table_type table_;
  std::unique_ptr<record_reader> reader_;  // reads what the table points at
  // What find_component_record found for the components being resolved
  // (nullptr for a sysid not staged).
  std::unordered_map<std::string, std::unique_ptr<component_record>> found_;
  std::string printed_;  // the record being written, its room kept from file to file
};

// Opens components.lsp of the staging directory; the last record of a sysid wins.
component_records make_component_records(const std::filesystem::path& dir);

}  // namespace vtm::records
