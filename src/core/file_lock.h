// An exclusive advisory lock on a file, held by one process at a time.
//
// The lock is the kernel's (flock), so it dies with its process: a run that
// crashed or was killed never leaves it held. The holder writes its process
// id into the file so that a refused process can name it. Two file_lock
// objects of one process on the same file exclude each other too.
#pragma once

#include <filesystem>

namespace vtm::core {

class file_lock {
 public:
  file_lock() = default;
  file_lock(const file_lock&) = delete;
  file_lock& operator=(const file_lock&) = delete;
  file_lock(file_lock&& other) noexcept;
  file_lock& operator=(file_lock&& other) noexcept;
  ~file_lock();

  // Takes the lock on path (creating the file) without waiting. False when
  // another holds it; holder_pid() then names that process (0 when it has
  // not written its id yet). Throws std::system_error when path cannot be
  // opened.
  bool try_lock(const std::filesystem::path& path);
  void unlock();
  bool locked() const { return fd_ >= 0; }
  long holder_pid() const { return holder_pid_; }

 private:
  int fd_ = -1;
  long holder_pid_ = 0;
};

}  // namespace vtm::core
