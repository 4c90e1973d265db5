// changelog.lsp: every model change made to resolve identity conflicts, so
// that a rerun can give a component the same new sysid again.
#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "records/file_records.h"
#include "records/ordered_table.h"
#include "records/persistent_records.h"
#include "records/staging_layout.h"

namespace vtm::records {

class cluster_session;

class change_records : public persistent_records {
 public:
  // Keyed by key-before: composite keys compare by value.
  using table_type = ordered_table<change_key, change_info, change_key_hash>;

  const table_type& changes() const { return changes_; }
  // Changes logged but not yet written, newest first.
  const std::deque<change_info>& buffer() const { return buffer_; }

  // Makes the change record and keeps it for flush_change_records. A change
  // of a key changed before carries the earlier locations first.
  const change_info& log_component_change(std::string location, change_key key_before, change_key key_after,
                                          core::keyword_name reason);
  const change_info& log_component_change(const share& location, change_key key_before, change_key key_after,
                                          core::keyword_name reason, cluster_session& session);
  // On a rerun: gives a contents the sysid that a recorded sysid conflict
  // gave it before, and returns it; nothing happens for other records.
  std::optional<std::string> apply_recorded_change(component_record& info, cluster_session& session);
  // Writes the buffer oldest first, so that reading the file back (where the
  // last record of a key wins) gives the table held now, and flushes it. The
  // resolver flushes a file's changes before it writes the file's components.
  void flush_change_records();
  // The records in the file now, in file order (unflushed ones are not in it).
  std::vector<change_info> change_records_log() const;

 private:
  friend change_records make_change_records(const std::filesystem::path& dir);
  explicit change_records(const std::filesystem::path& dir) : persistent_records(dir, changelog_file) {}

  table_type changes_;
  std::deque<change_info> buffer_;
};

change_records make_change_records(const std::filesystem::path& dir);

}  // namespace vtm::records
