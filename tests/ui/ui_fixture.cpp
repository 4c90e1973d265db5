#include "ui_fixture.h"

#include <unistd.h>

#include <cstdlib>

namespace ui_test {

temporary_settings::temporary_settings() {
  static int count = 0;
  dir_ = std::filesystem::temp_directory_path() /
         ("ui test settings " + std::to_string(::getpid()) + "-" + std::to_string(++count));
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
  ::setenv("SDUSERCUSTOMIZEDIR", dir_.c_str(), 1);
}

temporary_settings::~temporary_settings() {
  std::filesystem::remove_all(dir_);
  ::unsetenv("SDUSERCUSTOMIZEDIR");
}

std::string ConsoleTest::run(const std::string& line, bool expect_ok) {
  out_.str("");
  err_.str("");
  EXPECT_EQ(console_->run_line(line), expect_ok) << line << "\n" << out_.str() << err_.str();
  return out_.str();
}

}  // namespace ui_test
