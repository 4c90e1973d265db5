// Every shell command of the README runs as written, on the bundled
// examples, in the README's order: the sh blocks are read from the README
// itself, so sections added later are covered too.
//
// The commands run in a scratch directory laid out like the repository
// (examples/, and build/release/bin/ pointing at this build's programs)
// with HOME and the host's directories of its own. Lines that call the
// scripts/ entry points are left out: they install packages and make
// whole builds, which CI runs by themselves.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct sh_block {
  std::size_t line;                   // where the block starts in the README
  std::vector<std::string> commands;  // continuation lines joined
};

std::vector<sh_block> readme_sh_blocks(const fs::path& readme) {
  std::ifstream in(readme);
  std::vector<sh_block> blocks;
  bool inside = false;
  std::string line, pending;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    if (!inside) {
      if (line == "```sh") {
        inside = true;
        blocks.push_back({number, {}});
      }
      continue;
    }
    if (line == "```") {
      inside = false;
      continue;
    }
    pending += line;
    if (!pending.empty() && pending.back() == '\\') {
      pending += '\n';  // the shell joins the lines
      continue;
    }
    if (pending.find_first_not_of(" \t") != std::string::npos && pending.rfind("scripts/", 0) != 0)
      blocks.back().commands.push_back(pending);
    pending.clear();
  }
  return blocks;
}

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

TEST(Readme, EveryShellCommandRunsAsWritten) {
  const fs::path work = fs::temp_directory_path() / ("readme-commands-" + std::to_string(::getpid()));
  fs::remove_all(work);
  fs::create_directories(work / "build" / "release");
  fs::create_directories(work / "home");
  fs::create_directory_symlink(fs::path(VTM_SOURCE_DIR) / "examples", work / "examples");
  fs::create_directory_symlink(fs::path(VTM_BINARY_DIR) / "bin", work / "build" / "release" / "bin");

  // One shell for the whole README, as a reader typing it in one terminal:
  // exports hold for the lines after them. Each command must succeed, or
  // complete with the failures the example data holds on purpose (status 3).
  const std::vector<sh_block> blocks = readme_sh_blocks(fs::path(VTM_SOURCE_DIR) / "README.md");
  std::size_t commands = 0;
  std::string script = "cd " + quoted(work.string()) + " || exit 99\n";
  for (const sh_block& block : blocks)
    for (const std::string& command : block.commands) {
      ++commands;
      script += command + "\nst=$?\nif [ $st -ne 0 ] && [ $st -ne 3 ]; then echo \"README line " +
                std::to_string(block.line) + ", status $st: \"" + quoted(command) + " >&2; exit 1; fi\n";
    }
  const fs::path file = work / "readme.sh";
  std::ofstream(file) << script;
  const std::string log = (work / "readme.log").string();
  const int status =
      std::system(("env -u SDHOST_MM_DATABASE -u SDCORPCUSTOMIZEDIR -u SDSITECUSTOMIZEDIR HOME=" +
                   quoted((work / "home").string()) +
                   " SDUSERCUSTOMIZEDIR=" + quoted((work / "home" / "settings").string()) +
                   " TMPDIR=" + quoted((work / "home").string()) + " bash " + quoted(file.string()) +
                   " </dev/null >" + quoted(log) + " 2>&1")
                      .c_str());
  std::ifstream in(log);
  std::stringstream output;
  output << in.rdbuf();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output.str();
  EXPECT_GE(commands, 10u) << "the README's sh blocks were not found";
  fs::remove_all(work);
}

}  // namespace
