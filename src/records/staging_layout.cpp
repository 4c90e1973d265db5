#include "records/staging_layout.h"

namespace vtm::records {

std::filesystem::path make_relative_path(const std::filesystem::path& dir,
                                         const std::filesystem::path& file) {
  std::size_t skip = 0;
  for (const auto& part : dir)
    if (!part.empty()) ++skip;
  std::filesystem::path out;
  for (const auto& part : file.parent_path()) {
    if (skip > 0) {
      --skip;
      continue;
    }
    out /= part;
  }
  return out / file.filename();
}

}  // namespace vtm::records
