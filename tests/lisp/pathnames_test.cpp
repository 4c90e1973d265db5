#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/lisp.h"

namespace host::lisp {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

ref kw(std::string_view name) { return ref(&keyword(name)); }
ref str(std::string_view s) { return make_string(s); }

// Parts in the shape Lisp shows them: (:ABSOLUTE "a") "name" "type".
std::string show(const pathname_parts& p) {
  std::string out = "(";
  for (std::size_t i = 0; i < p.directory.size(); ++i) {
    if (i) out += ' ';
    const ref& c = p.directory[i];
    out += stringp(c) ? "\"" + as_string(c) + "\"" : ":" + as_symbol(c).name;
  }
  out += ") ";
  out += p.name ? "\"" + *p.name + "\"" : "NIL";
  out += ' ';
  out += p.type ? "\"" + *p.type + "\"" : "NIL";
  return out;
}

std::string show(const ref& pathname) { return show(as_pathname(pathname).parts); }

std::vector<std::string> namestrings(const ref& list) {
  std::vector<std::string> out;
  for (const ref& p : list_to_vector(list)) out.push_back(namestring(p));
  return out;
}

lisp_error caught(const std::function<void()>& f) {
  try {
    f();
  } catch (const lisp_error& e) {
    return e;
  }
  ADD_FAILURE() << "no error signalled";
  return lisp_error(make_condition("NONE", ""));
}

TEST(Pathnames, ParsesPosixNamestringsAsSbclDoes) {
  struct {
    const char* text;
    const char* parts;
  } cases[] = {
      {"/a/b/c.txt", R"((:ABSOLUTE "a" "b") "c" "txt")"},
      {"c.txt", R"(() "c" "txt")"},
      {"a/b/", R"((:RELATIVE "a" "b") NIL NIL)"},
      {"/a/b/*.*", R"((:ABSOLUTE "a" "b") "*" "*")"},
      {"/a/**/*.sdp", R"((:ABSOLUTE "a" :WILD-INFERIORS) "*" "sdp")"},
      {"/a/*/x", R"((:ABSOLUTE "a" :WILD) "x" NIL)"},
      {"x.tar.gz", R"(() "x.tar" "gz")"},
      {".lsp", R"(() ".lsp" NIL)"},
      {".a.b", R"(() ".a" "b")"},
      {"a.", R"(() "a" "")"},
      {"/", R"((:ABSOLUTE) NIL NIL)"},
      {"", R"(() NIL NIL)"},
      {"//x//y", R"((:ABSOLUTE "x") "y" NIL)"},
      {"/a/../b/", R"((:ABSOLUTE "a" :UP "b") NIL NIL)"},
      {"./x", R"((:RELATIVE ".") "x" NIL)"},
      {"/in put/ä ö.sd", R"((:ABSOLUTE "in put") "ä ö" "sd")"},
      {"C:/in/x.sd", R"((:RELATIVE "C:" "in") "x" "sd")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(show(parse_namestring(c.text)), c.parts) << c.text;
    // The inverse: printing gives text that parses to equal parts.
    pathname_parts p = parse_namestring(c.text);
    EXPECT_EQ(parse_namestring(namestring(p)), p) << c.text;
  }
  EXPECT_EQ(namestring(parse_namestring("//x//y")), "/x/y");
  EXPECT_EQ(namestring(parse_namestring("/in put/ä ö.sd")), "/in put/ä ö.sd");
  EXPECT_EQ(namestring(parse_namestring("a.")), "a.");
}

TEST(Pathnames, MakePathnameBuildsWhatTheParserReads) {
  ref built =
      call(cl_symbol("MAKE-PATHNAME"), kw("DIRECTORY"), list({kw("ABSOLUTE"), str("a"), str("*"), str("..")}),
           kw("NAME"), kw("WILD"), kw("TYPE"), str("sdp"));
  EXPECT_EQ(show(built), R"((:ABSOLUTE "a" :WILD :UP) "*" "sdp")");
  EXPECT_TRUE(equal(built, pathname(str("/a/*/../*.sdp"))));
  EXPECT_EQ(call(cl_symbol("PATHNAME-NAME"), built), kw("WILD"));

  // A directory string is absolute, :wild means every level below the root.
  EXPECT_EQ(namestring(call(cl_symbol("MAKE-PATHNAME"), kw("DIRECTORY"), str("foo"))), "/foo/");
  EXPECT_EQ(namestring(call(cl_symbol("MAKE-PATHNAME"), kw("DIRECTORY"), kw("WILD"))), "/**/");
  EXPECT_TRUE(
      equal(call(cl_symbol("MAKE-PATHNAME"), kw("DIRECTORY"), list({kw("RELATIVE")}), kw("NAME"), str("x")),
            pathname(str("x"))));

  // Components given win over :defaults, even NIL; the rest comes from them.
  ref defaults = str("/x/y/z.q");
  EXPECT_EQ(namestring(call(cl_symbol("MAKE-PATHNAME"), kw("DIRECTORY"), list({kw("ABSOLUTE"), str("a")}),
                            kw("NAME"), str("b"), kw("DEFAULTS"), defaults)),
            "/a/b.q");
  EXPECT_EQ(namestring(call(cl_symbol("MAKE-PATHNAME"), kw("TYPE"), nil(), kw("DEFAULTS"), defaults)),
            "/x/y/z");
  EXPECT_EQ(namestring(call(cl_symbol("MAKE-PATHNAME"), kw("DIRECTORY"), list({kw("RELATIVE"), str("c")}),
                            kw("DEFAULTS"), defaults)),
            "c/z.q");
  EXPECT_TRUE(is_nil(call(cl_symbol("PATHNAME-DEVICE"), str("/a/b"))));
  EXPECT_EQ(
      as_string(call(cl_symbol("PATHNAME-DEVICE"), call(cl_symbol("MAKE-PATHNAME"), kw("DEVICE"), str("C")))),
      "C");

  EXPECT_EQ(caught([] { call(cl_symbol("MAKE-PATHNAME"), kw("DIRECTORY"), list({str("a")})); }).kind(),
            "TYPE-ERROR");
  EXPECT_EQ(caught([] { call(cl_symbol("MAKE-PATHNAME"), kw("NAME"), make_integer(3)); }).kind(),
            "TYPE-ERROR");
  EXPECT_EQ(caught([] { call(cl_symbol("MAKE-PATHNAME"), kw("VERSION"), kw("NEWEST")); }).kind(),
            "PROGRAM-ERROR");
}

TEST(Pathnames, AccessorsAcceptEveryDesignator) {
  ref p = str("/a b/ä/c.tar.gz");
  EXPECT_TRUE(equal(call(cl_symbol("PATHNAME-DIRECTORY"), p), list({kw("ABSOLUTE"), str("a b"), str("ä")})));
  EXPECT_EQ(as_string(call(cl_symbol("PATHNAME-NAME"), p)), "c.tar");
  EXPECT_EQ(as_string(call(cl_symbol("PATHNAME-TYPE"), pathname(p))), "gz");
  EXPECT_EQ(as_string(call(cl_symbol("DIRECTORY-NAMESTRING"), p)), "/a b/ä/");
  EXPECT_EQ(as_string(call(cl_symbol("FILE-NAMESTRING"), p)), "c.tar.gz");
  EXPECT_EQ(as_string(call(cl_symbol("FILE-NAMESTRING"), str("/a/"))), "");
  EXPECT_TRUE(is_nil(call(cl_symbol("PATHNAME-DIRECTORY"), str("c.txt"))));
  EXPECT_EQ(as_string(call(cl_symbol("NAMESTRING"), call(cl_symbol("PARSE-NAMESTRING"), p))),
            "/a b/ä/c.tar.gz");
  EXPECT_EQ(caught([] { call(cl_symbol("PATHNAME"), make_integer(1)); }).kind(), "TYPE-ERROR");
}

TEST(Pathnames, EqualPathnamesHashAlikeInEqualTables) {
  ref parsed = pathname(str("/a/b/c.txt"));
  ref built = call(cl_symbol("MAKE-PATHNAME"), kw("DIRECTORY"), list({kw("ABSOLUTE"), str("a"), str("b")}),
                   kw("NAME"), str("c"), kw("TYPE"), str("txt"));
  ASSERT_TRUE(equal(parsed, built));
  EXPECT_EQ(ref_hash{hash_test::equal}(parsed), ref_hash{hash_test::equal}(built));
  EXPECT_FALSE(equal(parsed, pathname(str("/a/b/c.TXT"))));
  EXPECT_FALSE(equal(pathname(str("/a/b")), pathname(str("/a/b/"))));

  ref table = make_hash_table(hash_test::equal);
  as_hash_table(table).table[parsed] = t();
  EXPECT_EQ(as_hash_table(table).table.count(built), 1u);
  EXPECT_EQ(as_hash_table(table).table.count(pathname(str("a/b/c.txt"))), 0u);
}

TEST(Pathnames, MergeFillsMissingPartsAsSbclDoes) {
  auto merged = [](const char* p, const char* d) {
    return namestring(merge_pathnames(parse_namestring(p), parse_namestring(d)));
  };
  EXPECT_EQ(merged("c.txt", "/a/b/"), "/a/b/c.txt");
  EXPECT_EQ(merged("x/c.txt", "/a/b/d.lsp"), "/a/b/x/c.txt");
  EXPECT_EQ(merged("../c.txt", "/a/b/"), "/a/b/../c.txt");
  EXPECT_EQ(merged("/x/", "/a/b/c.txt"), "/x/c.txt");
  EXPECT_EQ(merged("c", "/a/b/d.lsp"), "/a/b/c.lsp");
  EXPECT_EQ(merged("x/", "y/"), "y/x/");
  EXPECT_EQ(merged("x.lsp", "/a/b/*.*"), "/a/b/x.lsp");
  pathname_parts back;
  back.directory = {kw("RELATIVE"), kw("BACK"), str("q")};
  EXPECT_EQ(namestring(merge_pathnames(back, parse_namestring("/a/b/d.lsp"))), "/a/q/d.lsp");

  EXPECT_EQ(namestring(call(cl_symbol("MERGE-PATHNAMES"), str("c.txt"), str("/a/"))), "/a/c.txt");
  // Without defaults: *default-pathname-defaults*, empty at start.
  EXPECT_EQ(namestring(call(cl_symbol("MERGE-PATHNAMES"), str("c.txt"))), "c.txt");
}

TEST(Pathnames, WildMatching) {
  auto match = [](const char* p, const char* w) {
    return truthy(call(cl_symbol("PATHNAME-MATCH-P"), str(p), str(w)));
  };
  EXPECT_TRUE(match("/a/b/c/x.sdp", "/a/**/*.sdp"));
  EXPECT_TRUE(match("/a/x.sdp", "/a/**/*.sdp"));
  EXPECT_FALSE(match("/b/x.sdp", "/a/**/*.sdp"));
  EXPECT_FALSE(match("/a/x.sdpc", "/a/**/*.sdp"));
  EXPECT_TRUE(match("/a/b/x.sdp", "/a/*/x.*"));
  EXPECT_FALSE(match("/a/b/c/x.sdp", "/a/*/x.*"));
  EXPECT_TRUE(match("/a/part 12.sd", "/a/part*2.sd"));
  EXPECT_FALSE(match("/a/part 13.sd", "/a/part*2.sd"));
  EXPECT_TRUE(match("a/b/x", "x"));  // a missing part matches anything
  EXPECT_FALSE(match("x", "/**/x"));

  EXPECT_TRUE(wild_p(parse_namestring("/a/**/x.sd")));
  EXPECT_TRUE(wild_p(parse_namestring("/a/x*.sd")));
  EXPECT_FALSE(wild_p(parse_namestring("/a/../x.sd")));
  EXPECT_TRUE(is_nil(call(cl_symbol("WILD-PATHNAME-P"), str("/a b/x.sd"))));
}

// A temporary directory tree, removed afterwards; `root` is its truename
// with a trailing slash.
class FileTree : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "vtm-files-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = fs::canonical(tmpl);
    root = dir_.string() + "/";
  }
  void TearDown() override { fs::remove_all(dir_); }

  void touch(const std::string& relative) {
    fs::create_directories((dir_ / relative).parent_path());
    std::ofstream(dir_ / relative) << "x";
  }
  std::vector<std::string> listing(const std::string& pattern) {
    return namestrings(call(cl_symbol("DIRECTORY"), str(root + pattern)));
  }

  fs::path dir_;
  std::string root;
};

TEST_F(FileTree, DirectoryListsWildNamesTypesAndInferiorsSorted) {
  for (const char* f : {"x.lsp", "y", ".hidden", "x.tar.gz", "a/z.lsp", "a/b/w.lsp", "a/b/q.txt",
                        "in put/ä ö.lsp", "c/HP_CATFILE"})
    touch(f);
  fs::create_directory(dir_ / "empty");

  EXPECT_THAT(listing("*.*"), ElementsAre(root + ".hidden", root + "a/", root + "c/", root + "empty/",
                                          root + "in put/", root + "x.lsp", root + "x.tar.gz", root + "y"));
  // No type in the pattern: only entries without a type.
  EXPECT_THAT(listing("*"), ElementsAre(root + ".hidden", root + "a/", root + "c/", root + "empty/",
                                        root + "in put/", root + "y"));
  EXPECT_THAT(listing("*.lsp"), ElementsAre(root + "x.lsp"));
  EXPECT_THAT(listing("*.gz"), ElementsAre(root + "x.tar.gz"));
  EXPECT_THAT(listing("x.*"), ElementsAre(root + "x.lsp"));
  EXPECT_THAT(listing("**/*.lsp"),
              ElementsAre(root + "a/b/w.lsp", root + "a/z.lsp", root + "in put/ä ö.lsp", root + "x.lsp"));
  EXPECT_THAT(listing("**/"),
              ElementsAre(root, root + "a/", root + "a/b/", root + "c/", root + "empty/", root + "in put/"));
  EXPECT_THAT(listing("*/"), ElementsAre(root + "a/", root + "c/", root + "empty/", root + "in put/"));
  EXPECT_THAT(listing("*/*.lsp"), ElementsAre(root + "a/z.lsp", root + "in put/ä ö.lsp"));
  EXPECT_THAT(listing("a/**/w.*"), ElementsAre(root + "a/b/w.lsp"));
  EXPECT_THAT(listing("in put/ä ö.lsp"), ElementsAre(root + "in put/ä ö.lsp"));
  EXPECT_THAT(listing("a"), ElementsAre(root + "a/"));
  EXPECT_THAT(listing(""), ElementsAre(root));
  EXPECT_TRUE(listing("missing/*.*").empty());
  EXPECT_TRUE(listing("x.lsp/*.*").empty());
  EXPECT_TRUE(listing("nothing.lsp").empty());

  // Results are pathnames of the right shape, not only the right text.
  ref found = car(call(cl_symbol("DIRECTORY"), str(root + "in put/*.lsp")));
  EXPECT_EQ(as_string(call(cl_symbol("PATHNAME-NAME"), found)), "ä ö");
  EXPECT_TRUE(equal(found, pathname(str(root + "in put/ä ö.lsp"))));
  ref sub = car(call(cl_symbol("DIRECTORY"), str(root + "a/")));
  EXPECT_TRUE(is_nil(call(cl_symbol("PATHNAME-NAME"), sub)));
}

TEST_F(FileTree, DirectoryResolvesRelativePatternsAndSymbolicLinks) {
  touch("a/z.lsp");
  fs::create_directory_symlink(dir_ / "a", dir_ / "link");
  fs::create_symlink(dir_ / "gone", dir_ / "dangling.lsp");
  // The link and its target are one directory; a dangling link is no file.
  EXPECT_THAT(listing("*/"), ElementsAre(root + "a/"));
  EXPECT_THAT(listing("link/*.lsp"), ElementsAre(root + "a/z.lsp"));
  EXPECT_TRUE(listing("*.lsp").empty());

  fs::path cwd = fs::current_path();
  fs::current_path(dir_);
  std::vector<std::string> relative = namestrings(call(cl_symbol("DIRECTORY"), str("a/*.lsp")));
  fs::current_path(cwd);
  EXPECT_THAT(relative, ElementsAre(root + "a/z.lsp"));
}

TEST_F(FileTree, DirectoryOfALargeTreeFindsEveryFileOnce) {
  // Many files in few directories, as an input directory of legacy data.
  const int dirs = 20, per_dir = 150;
  for (int d = 0; d < dirs; ++d) {
    fs::create_directories(dir_ / ("d" + std::to_string(d)) / "sub");
    for (int f = 0; f < per_dir; ++f) {
      std::ofstream(dir_ / ("d" + std::to_string(d)) / ("part " + std::to_string(f) + ".sdp"));
      std::ofstream(dir_ / ("d" + std::to_string(d)) / "sub" / ("c" + std::to_string(f) + ".sdpc"));
    }
  }
  std::vector<std::string> all = listing("**/*.sdp");
  EXPECT_EQ(all.size(), static_cast<std::size_t>(dirs * per_dir));
  EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
  EXPECT_EQ(listing("**/*.*").size(), static_cast<std::size_t>(dirs * per_dir * 2 + dirs * 2));
}

TEST_F(FileTree, ProbeFileAnswersTruenamesOrNil) {
  touch("a/x.lsp");
  EXPECT_EQ(namestring(call(cl_symbol("PROBE-FILE"), str(root + "a/x.lsp"))), root + "a/x.lsp");
  EXPECT_EQ(namestring(call(cl_symbol("PROBE-FILE"), str(root + "a/../a/x.lsp"))), root + "a/x.lsp");
  // A directory named like a file comes back as a directory.
  EXPECT_EQ(namestring(call(cl_symbol("PROBE-FILE"), str(root + "a"))), root + "a/");
  EXPECT_TRUE(is_nil(call(cl_symbol("PROBE-FILE"), str(root + "a/missing.lsp"))));
  EXPECT_TRUE(is_nil(call(cl_symbol("PROBE-FILE"), str(root + "missing/x.lsp"))));
  EXPECT_TRUE(is_nil(call(cl_symbol("PROBE-FILE"), str(root + "a/x.lsp/y"))));
  lisp_error wild = caught([&] { call(cl_symbol("PROBE-FILE"), str(root + "*.lsp")); });
  EXPECT_EQ(wild.kind(), "FILE-ERROR");
  EXPECT_THAT(wild.message(), HasSubstr(root + "*.lsp"));
}

TEST_F(FileTree, FileWriteDateIsUniversalTime) {
  touch("x.sd");
  const std::int64_t unix_time = 1699358400;  // 2023-11-07 12:00 UTC
  struct timespec times[2] = {{unix_time, 0}, {unix_time, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (root + "x.sd").c_str(), times, 0), 0);
  EXPECT_EQ(as_integer(call(cl_symbol("FILE-WRITE-DATE"), str(root + "x.sd"))), 3908347200);

  lisp_error missing = caught([&] { call(cl_symbol("FILE-WRITE-DATE"), str(root + "gone.sd")); });
  EXPECT_EQ(missing.kind(), "FILE-ERROR");
  EXPECT_THAT(missing.message(), HasSubstr(root + "gone.sd"));
  EXPECT_THAT(missing.message(), HasSubstr("No such file or directory"));
}

TEST_F(FileTree, RenameMergesTheNewNameWithTheOld) {
  touch("in/a.sd");
  ref renamed = call(cl_symbol("RENAME-FILE"), str(root + "in/a.sd"), str("b"));
  EXPECT_EQ(namestring(renamed), root + "in/b.sd");
  EXPECT_TRUE(fs::exists(dir_ / "in/b.sd"));
  EXPECT_FALSE(fs::exists(dir_ / "in/a.sd"));

  ref moved = call(cl_symbol("RENAME-FILE"), str(root + "in/b.sd"), str(root + "ä ö.bak"));
  EXPECT_EQ(namestring(moved), root + "ä ö.bak");
  EXPECT_TRUE(fs::exists(dir_ / "ä ö.bak"));

  lisp_error missing = caught([&] { call(cl_symbol("RENAME-FILE"), str(root + "in/b.sd"), str("c")); });
  EXPECT_EQ(missing.kind(), "FILE-ERROR");
  EXPECT_THAT(missing.message(), HasSubstr(root + "in/b.sd"));
  EXPECT_THAT(missing.message(), HasSubstr("No such file or directory"));
}

TEST_F(FileTree, DeleteFileAndEnsureDirectoriesExist) {
  touch("x.sd");
  EXPECT_EQ(call(cl_symbol("DELETE-FILE"), str(root + "x.sd")), t());
  EXPECT_FALSE(fs::exists(dir_ / "x.sd"));
  lisp_error again = caught([&] { call(cl_symbol("DELETE-FILE"), str(root + "x.sd")); });
  EXPECT_EQ(again.kind(), "FILE-ERROR");
  EXPECT_THAT(again.message(), HasSubstr(root + "x.sd"));

  ref target = str(root + "n1/n 2/f.txt");
  EXPECT_TRUE(ensure_directories_exist(target));
  EXPECT_TRUE(fs::is_directory(dir_ / "n1/n 2"));
  EXPECT_FALSE(fs::exists(dir_ / "n1/n 2/f.txt"));
  EXPECT_FALSE(ensure_directories_exist(target));
  EXPECT_EQ(call(cl_symbol("ENSURE-DIRECTORIES-EXIST"), target), target);

  touch("file");
  lisp_error blocked = caught([&] { ensure_directories_exist(str(root + "file/sub/")); });
  EXPECT_EQ(blocked.kind(), "FILE-ERROR");
  EXPECT_THAT(blocked.message(), HasSubstr(root + "file/sub"));
}

}  // namespace
}  // namespace host::lisp
