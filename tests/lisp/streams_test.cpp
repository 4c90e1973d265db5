#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/lisp.h"

namespace host::lisp {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

ref kw(std::string_view name) { return ref(&keyword(name)); }
ref str(std::string_view s) { return make_string(s); }

template <class... R>
ref open_file(const std::string& file, const R&... options) {
  return call(cl_symbol("OPEN"), str(file), options...);
}

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> read_lines(const std::string& file) {
  ref in = open_file(file, kw("EXTERNAL-FORMAT"), kw("UTF-8"));
  std::vector<std::string> lines;
  for (ref line; !is_nil(line = call(cl_symbol("READ-LINE"), in, nil(), nil()));)
    lines.push_back(as_string(line));
  call(cl_symbol("CLOSE"), in);
  return lines;
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

class Streams : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "vtm-streams-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string file(const std::string& name) { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(Streams, AppendModeKeepsEarlierRecordsAndFlushesEachOne) {
  const std::string log = file("toc ä.lsp");
  for (const char* record : {"(:LOADING \"/in/a.sd\")", "(:PROCESSING \"/in/a.sd\")"}) {
    ref out = open_file(log, kw("DIRECTION"), kw("OUTPUT"), kw("IF-EXISTS"), kw("APPEND"),
                        kw("IF-DOES-NOT-EXIST"), kw("CREATE"), kw("EXTERNAL-FORMAT"), kw("UTF-8"));
    output_of(out) << '\n' << record;
    call(cl_symbol("FINISH-OUTPUT"), out);
    // Flushed: a reader sees the record while the writer is still open.
    EXPECT_THAT(slurp(log), HasSubstr(record));
    EXPECT_EQ(call(cl_symbol("CLOSE"), out), t());
  }
  EXPECT_EQ(read_lines(log),
            (std::vector<std::string>{"", "(:LOADING \"/in/a.sd\")", "(:PROCESSING \"/in/a.sd\")"}));

  // The C++ side opens the same way.
  ref out = open_output_file(log, if_exists::append);
  output_of(out) << "\nnächste Zeile";
  close_stream(out);
  EXPECT_EQ(read_lines(log).back(), "nächste Zeile");
}

TEST_F(Streams, IfExistsAndIfDoesNotExistFollowCommonLisp) {
  const std::string f = file("out.txt");
  // Appending to a missing file is an error unless :create is asked for.
  lisp_error missing =
      caught([&] { open_file(f, kw("DIRECTION"), kw("OUTPUT"), kw("IF-EXISTS"), kw("APPEND")); });
  EXPECT_EQ(missing.kind(), "FILE-ERROR");
  EXPECT_THAT(missing.message(), HasSubstr(f));
  EXPECT_FALSE(fs::exists(f));
  EXPECT_TRUE(is_nil(open_file(f, kw("DIRECTION"), kw("OUTPUT"), kw("IF-DOES-NOT-EXIST"), nil())));

  ref out = open_file(f, kw("DIRECTION"), kw("OUTPUT"));
  output_of(out) << "first version, longer";
  call(cl_symbol("CLOSE"), out);
  lisp_error exists = caught([&] { open_file(f, kw("DIRECTION"), kw("OUTPUT")); });
  EXPECT_EQ(exists.kind(), "FILE-ERROR");
  EXPECT_THAT(exists.message(), HasSubstr(f));
  EXPECT_THAT(exists.message(), HasSubstr("File exists"));

  out = open_file(f, kw("DIRECTION"), kw("OUTPUT"), kw("IF-EXISTS"), kw("SUPERSEDE"));
  output_of(out) << "second";
  call(cl_symbol("CLOSE"), out);
  EXPECT_EQ(slurp(f), "second");

  lisp_error input = caught([&] { open_file(file("nope.txt")); });
  EXPECT_EQ(input.kind(), "FILE-ERROR");
  EXPECT_THAT(input.message(), HasSubstr(file("nope.txt")));
  EXPECT_THAT(input.message(), HasSubstr("No such file or directory"));
  EXPECT_TRUE(is_nil(open_file(file("nope.txt"), kw("IF-DOES-NOT-EXIST"), nil())));
  EXPECT_TRUE(is_nil(open_input_file(file("nope.txt"))));
  ref created = open_file(file("new.txt"), kw("IF-DOES-NOT-EXIST"), kw("CREATE"));
  EXPECT_TRUE(fs::exists(file("new.txt")));
  EXPECT_EQ(call(cl_symbol("READ-LINE"), created, nil(), kw("EOF")), kw("EOF"));
  call(cl_symbol("CLOSE"), created);
}

TEST_F(Streams, ReadLineAtTheEnd) {
  std::ofstream(file("lines.txt"), std::ios::binary) << "one\n\nthree without newline";
  ref in = open_file(file("lines.txt"));
  EXPECT_EQ(as_string(call(cl_symbol("READ-LINE"), in)), "one");
  EXPECT_EQ(as_string(call(cl_symbol("READ-LINE"), in)), "");
  EXPECT_EQ(as_string(call(cl_symbol("READ-LINE"), in)), "three without newline");
  EXPECT_EQ(call(cl_symbol("READ-LINE"), in, nil(), kw("EOF")), kw("EOF"));
  lisp_error eof = caught([&] { call(cl_symbol("READ-LINE"), in); });
  EXPECT_EQ(eof.kind(), "END-OF-FILE");
  EXPECT_THAT(eof.message(), HasSubstr(file("lines.txt")));
  call(cl_symbol("CLOSE"), in);
  EXPECT_EQ(caught([&] { call(cl_symbol("READ-LINE"), in); }).kind(), "STREAM-ERROR");
}

TEST_F(Streams, RefusedOpens) {
  lisp_error dir = caught([&] { open_input_file(dir_); });
  EXPECT_EQ(dir.kind(), "FILE-ERROR");
  EXPECT_THAT(dir.message(), HasSubstr("Is a directory"));
  lisp_error no_dir = caught([&] { open_output_file(file("missing/x.txt"), if_exists::supersede); });
  EXPECT_EQ(no_dir.kind(), "FILE-ERROR");
  EXPECT_THAT(no_dir.message(), HasSubstr(file("missing/x.txt")));
  EXPECT_EQ(caught([&] { open_file(file("x"), kw("DIRECTION"), kw("IO")); }).kind(), "SIMPLE-ERROR");
  EXPECT_EQ(caught([&] { open_file(file("x"), kw("EXTERNAL-FORMAT"), kw("LATIN-1")); }).kind(),
            "SIMPLE-ERROR");
  EXPECT_EQ(caught([&] {
              open_file(file("x"), kw("DIRECTION"), kw("OUTPUT"), kw("IF-EXISTS"), kw("RENAME"));
            }).kind(),
            "SIMPLE-ERROR");
}

TEST_F(Streams, ClosedStreamsRefuseOutputAndCloseTwice) {
  ref out = open_file(file("c.txt"), kw("DIRECTION"), kw("OUTPUT"));
  EXPECT_EQ(call(cl_symbol("CLOSE"), out, kw("ABORT"), t()), t());
  EXPECT_EQ(call(cl_symbol("CLOSE"), out), t());
  lisp_error closed = caught([&] { output_of(out); });
  EXPECT_EQ(closed.kind(), "STREAM-ERROR");
  EXPECT_THAT(closed.message(), HasSubstr(file("c.txt")));
  EXPECT_EQ(caught([&] { call(cl_symbol("FINISH-OUTPUT"), out); }).kind(), "STREAM-ERROR");
  ref in = open_file(file("c.txt"));
  EXPECT_EQ(caught([&] { output_of(in); }).kind(), "STREAM-ERROR");
  call(cl_symbol("CLOSE"), in);
}

TEST(StringStreams, CollectTextUntilAsked) {
  ref s = call(cl_symbol("MAKE-STRING-OUTPUT-STREAM"));
  output_of(s) << "a \"quoted\" ä" << 42;
  call(cl_symbol("FORCE-OUTPUT"), s);
  EXPECT_EQ(as_string(call(cl_symbol("GET-OUTPUT-STREAM-STRING"), s)), "a \"quoted\" ä42");
  EXPECT_EQ(as_string(call(cl_symbol("GET-OUTPUT-STREAM-STRING"), s)), "");
  output_of(s) << "again";
  EXPECT_EQ(get_output_stream_string(s), "again");
  EXPECT_EQ(caught([] { get_output_stream_string(standard_output_stream()); }).kind(), "TYPE-ERROR");
}

TEST(StandardOutput, FollowsTheHostStreamAndBindingsOfTheVariable) {
  std::ostringstream captured;
  set_standard_output(captured);
  symbol& var = cl_symbol("*STANDARD-OUTPUT*");
  EXPECT_EQ(symbol_value(var), standard_output_stream());
  EXPECT_TRUE(var.special);
  standard_output() << "host ";
  output_of(t()) << "t ";
  output_of(nil()) << "nil";
  {
    ref s = make_string_output_stream();
    special_binding bound(var, s);
    standard_output() << "bound";
    output_of(t()) << " too";
    EXPECT_EQ(get_output_stream_string(s), "bound too");
  }
  standard_output() << ".";
  // Closing the host's own stream leaves it usable.
  close_stream(standard_output_stream());
  output_of(standard_output_stream()) << "!";
  set_standard_output(std::cout);
  EXPECT_EQ(captured.str(), "host t nil.!");
}

}  // namespace
}  // namespace host::lisp
