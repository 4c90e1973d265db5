// ami-drawings.lsp: the staged Annotation drawings, keyed by the name of the
// drawing file in drawings.ami.
#pragma once

#include <filesystem>
#include <string>
#include <type_traits>
#include <vector>

#include "records/file_records.h"
#include "records/ordered_table.h"
#include "records/persistent_records.h"
#include "records/staging_layout.h"

namespace vtm::records {

class ami_drawing_records : public persistent_records {
 public:
  // Keyed by the namestring of the record's filename.
  using table_type = ordered_table<std::string, ami_drawing_info>;

  const table_type& drawings() const { return drawings_; }

  // Enters the drawing, appends it and flushes; returns the table's record.
  const ami_drawing_info& update_ami_drawing_records(const ami_drawing_info& drawing);
  // Rewrites the file with one record per table entry, beside the old file
  // and renamed over it. The output stream is closed afterwards: further
  // single updates need a reopened manager.
  void update_ami_drawing_records();

  // The visitor's results for every drawing, in table order.
  template <class F>
  auto map_ami_drawings(F&& visitor) const {
    std::vector<std::invoke_result_t<F&, const ami_drawing_info&>> out;
    for (const auto& [name, drawing] : drawings_) out.push_back(visitor(drawing));
    return out;
  }

 private:
  friend ami_drawing_records make_ami_drawing_records(const std::filesystem::path& dir);
  explicit ami_drawing_records(const std::filesystem::path& dir)
      : persistent_records(dir, ami_drawings_file) {}

  table_type drawings_;
};

ami_drawing_records make_ami_drawing_records(const std::filesystem::path& dir);

}  // namespace vtm::records
