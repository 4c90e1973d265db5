// Model files through the sdhost console, as a user runs them: listing a
// loaded model, and a file that crashes the host, which ends the process
// with SIGKILL before anything after the crash point is done.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string run_sdhost(const fs::path& dir, const std::vector<std::string>& lines, int& status) {
  fs::path out = dir / "out";
  std::string command = "cd '" + dir.string() + "' && '" + std::string(VTM_SDHOST_PATH) + "' --no-module";
  for (const std::string& line : lines) command += " -e '" + line + "'";
  command += " >'" + out.string() + "' 2>&1";
  status = std::system(command.c_str());
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(FilesConsole, LoadsAFileAndListsModelsInstancesSysidsAndNames) {
  fs::path dir = fs::temp_directory_path() / ("sdsim console " + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "asm.pkg") << R"((:sdsim-model 1)
(:contents :id "p" :sysid "C-P" :name "pin")
(:model :sysid "I-A" :name "asm" :contents (:sysid "C-A" :name "asm"
  :children ((:name "pin" :sysid "I-P1" :contents "p") (:name "pin" :sysid "I-P2" :contents "p")))))";
  int status = 0;
  std::string out =
      run_sdhost(dir, {"(frame2-ui::universal_load :file \"asm.pkg\")", "(sdsim:list-session)"}, status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out,
            "T\n"
            "/asm  nasmb3 I-A  -> asbm_struct \"asm\" C-A\n"
            "  /asm/pin  npart3 I-P1  -> part_struct \"pin\" C-P\n"
            "  /asm/pin_2  npart3 I-P2  -> part_struct \"pin\" C-P\n"
            "3\n");
  fs::remove_all(dir);
}

TEST(FilesConsole, LoadingACrashingFileKillsTheHost) {
  fs::path dir = fs::temp_directory_path() / ("sdsim crash " + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "crash.pkg") << "(:sdsim-model 1)\n(:warn \"before the crash\")\n(:crash)\n"
                                      "(:model :name \"never\" :contents (:name \"never\"))\n";
  fs::path out = dir / "out";
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!std::freopen(out.c_str(), "w", stdout)) ::_exit(120);
    if (::chdir(dir.c_str()) != 0) ::_exit(121);
    ::execl(VTM_SDHOST_PATH, "sdhost", "--no-module", "-e", "(frame2-ui::universal_load :file \"crash.pkg\")",
            "-e", "(print :after)", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  // The warning came before the crash; nothing after it ran.
  EXPECT_NE(text.str().find("Warning: before the crash"), std::string::npos) << text.str();
  EXPECT_EQ(text.str().find(":AFTER"), std::string::npos);
  fs::remove_all(dir);
}

}  // namespace
