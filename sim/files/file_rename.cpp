#include "host/file_rename.h"

#include "host/fault_points.h"

namespace host::system {

void rename_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::rename(from, to);
  sim::fault_point("rename");
}

}  // namespace host::system
