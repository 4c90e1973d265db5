// toc.lsp: the processing state and result of every CAD file of the input
// directory, so that a rerun skips what was done and what crashed the host.
#pragma once

#include <filesystem>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "records/file_records.h"
#include "records/ordered_table.h"
#include "records/persistent_records.h"
#include "records/staging_layout.h"

namespace vtm::records {

class cad_file_records : public persistent_records {
 public:
  // Keyed by the namestring of the CAD file's absolute path.
  using table_type = ordered_table<std::string, cad_fileinfo>;

  const table_type& filetable() const { return filetable_; }

  // Advances the record one state and writes the entry of the new state:
  // :NEW -> :LOADING writes (:LOADING path), :LOADING -> :PROCESSING writes
  // (:PROCESSING path), :PROCESSING -> :COMPLETE writes the whole record. The
  // table holds the advanced record. False (nothing written) for a record
  // that is :COMPLETE already.
  bool update_cad_file_records(cad_fileinfo& record);
  // Whether every recorded CAD file still has its recorded write date.
  bool cad_file_records_consistent_p() const;

  // The sysids the top-level models of a CAD file were staged under:
  // (sysid loaded with . sysid staged under), in the host's order. Written as
  // (:STAGED-AS path (("S" . "S2") ...)) before the file's components, so that
  // the file staged again after a crash, an interrupt or a failed save gets
  // the same sysids and replaces its own models, never another file's.
  using staged_models = std::vector<std::pair<std::string, std::string>>;
  // Writes the entry only: a run stages a file once, and the next run reads
  // it back, so a large run does not hold one for every file.
  void record_staged_models(const std::filesystem::path& path, const staged_models& models);
  // What toc.lsp held for the file when opened, handed out once; empty when
  // nothing was recorded.
  staged_models take_staged_models(const std::filesystem::path& path);

 private:
  friend cad_file_records make_cad_file_records(const std::filesystem::path& dir);
  explicit cad_file_records(const std::filesystem::path& dir) : persistent_records(dir, toc_file) {}

  table_type filetable_;
  std::unordered_map<std::string, staged_models> staged_;
};

// Opens toc.lsp of the staging directory. A state entry (state path) becomes
// a fresh record of that state with the file's write date, or 0 when the
// file is gone; the entry is kept so that the file's history is not lost.
cad_file_records make_cad_file_records(const std::filesystem::path& dir);

}  // namespace vtm::records
