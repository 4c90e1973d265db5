#include "stage1/collect_files.h"

#include "stage1_fixture.h"

namespace stage1_test {
namespace {

using vtm::stage1::collect_files;
using vtm::stage1::file_group;

class CollectFiles : public Stage1Test {
 protected:
  // The groups with every file relative to the scratch directory.
  std::vector<std::vector<std::string>> collected() {
    std::vector<std::vector<std::string>> out;
    for (const file_group& g : collect_files(dir_ / "in")) {
      out.emplace_back();
      for (const fs::path& f : g) out.back().push_back(fs::relative(f, dir_ / "in").string());
    }
    return out;
  }
};

TEST_F(CollectFiles, SkipsCatalogueFilesAndEveryTypeWithAC) {
  for (const char* f : {"in/HP_CATFILE", "in/hp_catlock", "in/a.SDPC", "in/b.sdac", "in/notes.doc",
                        "in/c.Xmic", "in/keep.pkg", "in/KEEP2", "in/.hidden", "in/d.XMIT", "in/e.sdp"})
    write(f, "x");
  EXPECT_EQ(collected(),
            (std::vector<std::vector<std::string>>{{"keep.pkg", "e.sdp", "d.XMIT", "KEEP2", ".hidden"}}));
}

TEST_F(CollectFiles, SearchesDepthFirstLastListedDirectoryNextAndReversesBothOrders) {
  for (const char* f :
       {"in/a/1.sd", "in/a/2.sd", "in/a/x/3.sd", "in/b/4.sd", "in/b/y/5.sd", "in/b/y/6.sd", "in/top.sd"})
    write(f, "x");
  // Work list: in -> (b a) -> b first, then b/y, then a, then a/x.
  // Discovery order: in, b, b/y, a, a/x; reversed in the result.
  EXPECT_EQ(collected(),
            (std::vector<std::vector<std::string>>{
                {"a/x/3.sd"}, {"a/2.sd", "a/1.sd"}, {"b/y/6.sd", "b/y/5.sd"}, {"b/4.sd"}, {"top.sd"}}));
}

TEST_F(CollectFiles, DirectoriesWithoutCollectedFilesGiveNoGroup) {
  write("in/only-dirs/deeper/part.sdp", "x");
  write("in/contents-only/part.sdpc", "x");
  fs::create_directories(dir_ / "in" / "empty");
  EXPECT_EQ(collected(), (std::vector<std::vector<std::string>>{{"only-dirs/deeper/part.sdp"}}));
  fs::remove_all(dir_ / "in");
  fs::create_directories(dir_ / "in");
  EXPECT_TRUE(collected().empty());
}

TEST_F(CollectFiles, ALinkBackToAnAncestorIsSearchedOnce) {
  write("in/sub/p.sd", "x");
  fs::create_directory_symlink(dir_ / "in", dir_ / "in" / "sub" / "loop");
  EXPECT_EQ(collected(), (std::vector<std::vector<std::string>>{{"sub/p.sd"}}));
}

}  // namespace
}  // namespace stage1_test
