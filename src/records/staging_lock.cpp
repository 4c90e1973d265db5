#include "records/staging_lock.h"

#include <fmt/format.h>

#include <system_error>

#include "host/lisp/errors.h"

namespace vtm::records {

core::file_lock lock_staging_directory(const std::filesystem::path& dir) {
  core::file_lock lock;
  bool taken = false;
  try {
    taken = lock.try_lock(dir / staging_lock_file);
  } catch (const std::system_error& e) {
    host::lisp::simple_error(
        fmt::format("The staging directory {} cannot be locked: {}.", dir.string(), e.what()));
  }
  if (!taken) {
    const std::string holder =
        lock.holder_pid() > 0 ? fmt::format("process {}", lock.holder_pid()) : std::string("another process");
    host::lisp::simple_error(fmt::format("The staging directory {} is in use by {}.", dir.string(), holder));
  }
  return lock;
}

}  // namespace vtm::records
