#include "core/file_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "host/lisp/errors.h"
#include "records/staging_lock.h"

namespace {

namespace fs = std::filesystem;

struct FileLock : ::testing::Test {
  fs::path dir = fs::temp_directory_path() / ("file_lock_test." + std::to_string(::getpid()));
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(FileLock, OneHolderAtATimeNamedToTheOthersAndFreedWhenItsProcessDies) {
  vtm::core::file_lock first;
  ASSERT_TRUE(first.try_lock(dir / "a.lock"));
  vtm::core::file_lock second;
  EXPECT_FALSE(second.try_lock(dir / "a.lock"));
  EXPECT_EQ(second.holder_pid(), ::getpid());
  vtm::core::file_lock other;
  EXPECT_TRUE(other.try_lock(dir / "b.lock"));
  first.unlock();
  EXPECT_TRUE(second.try_lock(dir / "a.lock"));
  second.unlock();

  // A child takes the lock and dies without releasing it: the lock is free
  // again once the child is gone, and named while it lives.
  int ready[2];
  int release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    vtm::core::file_lock held;
    const char ok = held.try_lock(dir / std::string(vtm::records::staging_lock_file)) ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    char c;
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  try {
    vtm::records::lock_staging_directory(dir);
    ADD_FAILURE() << "a held staging directory was locked again";
  } catch (const host::lisp::lisp_error& e) {
    EXPECT_EQ(e.message(), "The staging directory " + dir.string() + " is in use by process " +
                               std::to_string(child) + ".");
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(vtm::records::lock_staging_directory(dir).locked());
}

}  // namespace
