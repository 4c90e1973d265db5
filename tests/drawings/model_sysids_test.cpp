// The instance sysids of model files, dumped by the real pb_pub beside the
// test program: paths a shell would misread, several files at once, and
// files that give no dump.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "drawings/drawing_associator.h"
#include "host/lisp/printer.h"
#include "host/programs.h"
#include "support/module_fixture.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using vtm::drawings::get_model_sysids;

class ModelSysids : public testing::Test {
 protected:
  void SetUp() override {
    vtm_test::load_module_once();
    dir_ = fs::temp_directory_path() / ("model sysids " + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // An assembly instance file whose two children have fixed sysids.
  fs::path model(const fs::path& relative, const std::string& tag) {
    const fs::path file = dir_ / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "(:sdsim-model 1)\n(:model :sysid \"I-" << tag << "\" :name \"m\" :contents "
                        << "(:id \"c\" :sysid \"C-" << tag << "\" :name \"c\" :children ("
                        << "(:name \"a\" :sysid \"A-" << tag << "\" :contents (:id \"p\" :name \"p\"))"
                        << "(:name \"b\" :sysid \"B-" << tag << "\" :contents \"p\"))))\n";
    return file;
  }
  fs::path dir_;
};

// The dump runs without a shell: blanks, ";" and "$(...)" in a path are
// only characters of the file name.
TEST_F(ModelSysids, PathsWithShellSyntaxAreDumpedAndRunNothingElse) {
  const fs::path odd = model(fs::path("with blank") / "x;touch pwned;$(touch pwned2).sda", "ODD");
  ::chdir(dir_.c_str());
  const std::vector<std::string> found = get_model_sysids(odd);
  EXPECT_THAT(found, ElementsAre("B-ODD", "A-ODD", "I-ODD"));
  EXPECT_FALSE(fs::exists(dir_ / "pwned"));
  EXPECT_FALSE(fs::exists(dir_ / "pwned2"));
  ::chdir("/");
}

// Two files of one name in different folders, dumped together, keep their
// own sysids; missing files give none.
TEST_F(ModelSysids, ManyFilesAtOnceEachGetTheirOwn) {
  std::vector<fs::path> files;
  for (int i = 0; i < 9; ++i)
    files.push_back(model(fs::path("d" + std::to_string(i)) / "same.sda", std::to_string(i)));
  files.insert(files.begin() + 4, dir_ / "missing.sda");
  const std::vector<std::vector<std::string>> found = get_model_sysids(files);
  ASSERT_EQ(found.size(), files.size());
  EXPECT_THAT(found[4], IsEmpty());
  for (std::size_t i = 0, n = 0; i < files.size(); ++i) {
    if (i == 4) continue;
    const std::string tag = std::to_string(n++);
    EXPECT_THAT(found[i], ElementsAre("B-" + tag, "A-" + tag, "I-" + tag)) << files[i];
  }
}

// A dump that fails among several is reported, in the order of the files,
// and takes nothing from the dumps beside it; the dumps leave no file.
TEST_F(ModelSysids, AFailingDumpAmongSeveralIsReportedInItsPlace) {
  const fs::path temp = host::lisp::as_string(host::oli::sd_inq_temp_dir());
  const auto files_in_temp = [&] {
    return std::distance(fs::directory_iterator(temp), fs::directory_iterator());
  };
  const auto before = files_in_temp();
  const fs::path foreign = dir_ / "notes.sdp";
  std::ofstream(foreign) << "just text\n";
  testing::internal::CaptureStdout();
  const std::vector<std::vector<std::string>> found =
      get_model_sysids({model("a.sda", "A"), foreign, dir_ / "missing.sda", model("c.sda", "C"), foreign});
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(found, ElementsAre(ElementsAre("B-A", "A-A", "I-A"), IsEmpty(), IsEmpty(),
                                 ElementsAre("B-C", "A-C", "I-C"), IsEmpty()));
  EXPECT_EQ(out, "No XML for " + foreign.string() + "\nNo XML for " + foreign.string() + "\n");
  EXPECT_EQ(files_in_temp(), before);
}

// A file that is no model file leaves no dump: its message, no sysids.
TEST_F(ModelSysids, AFileWithoutDumpIsReported) {
  const fs::path foreign = dir_ / "notes.sdp";
  std::ofstream(foreign) << "just text\n";
  testing::internal::CaptureStdout();
  const std::string before =
      host::lisp::prin1_to_string(vtm_test::eval("(vtm::get-model-sysids \"" + foreign.string() + "\")"));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(before, "NIL");
  EXPECT_NE(out.find("No XML for " + foreign.string()), std::string::npos) << out;
}

}  // namespace
