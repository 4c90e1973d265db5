#include "core/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

namespace vtm::core {

namespace {

long read_pid(int fd) {
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return 0;
  try {
    return std::stol(std::string(text, static_cast<std::size_t>(n)));
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

file_lock::file_lock(file_lock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), holder_pid_(other.holder_pid_) {}

file_lock& file_lock::operator=(file_lock&& other) noexcept {
  if (this != &other) {
    unlock();
    fd_ = std::exchange(other.fd_, -1);
    holder_pid_ = other.holder_pid_;
  }
  return *this;
}

file_lock::~file_lock() { unlock(); }

bool file_lock::try_lock(const std::filesystem::path& path) {
  unlock();
  // Close-on-exec: programs the host starts must not inherit the lock.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    throw std::system_error(errno, std::generic_category(), "cannot open the lock file " + path.string());
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    holder_pid_ = err == EWOULDBLOCK ? read_pid(fd) : 0;
    ::close(fd);
    if (err != EWOULDBLOCK)
      throw std::system_error(err, std::generic_category(), "cannot lock " + path.string());
    return false;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  // Without the id the lock still holds; a refused process then names no holder.
  if (::ftruncate(fd, 0) == 0) {
    const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
    static_cast<void>(written);
  }
  fd_ = fd;
  holder_pid_ = ::getpid();
  return true;
}

void file_lock::unlock() {
  if (fd_ < 0) return;
  // The id stays in the file: a process that reads it while taking the lock
  // after us finds the file rewritten by then, and a stale id is harmless.
  ::close(fd_);
  fd_ = -1;
}

}  // namespace vtm::core
