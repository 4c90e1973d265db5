// pb_pub as the drawing association runs it: found by the host, run with
// its output redirected into the host's temporary directory, and read back
// for the instance sysids of an example assembly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
#include <sstream>

#include "host/lisp/object.h"
#include "host/programs.h"

namespace {

namespace fs = std::filesystem;
using host::lisp::as_string;

const fs::path examples = fs::path(VTM_SOURCE_DIR) / "examples" / "extraction" / "files";

std::string pb_pub() {
  host::lisp::ref found = host::frame2::find_executable("pb_pub");
  EXPECT_FALSE(host::lisp::is_nil(found));
  return host::lisp::is_nil(found) ? std::string("pb_pub") : as_string(found);
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The sysids of source_cluster in cluster/reference, in document order.
std::vector<std::string> sysids(const fs::path& xml) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_file(xml.c_str())) << xml;
  std::vector<std::string> out;
  for (pugi::xml_node c : doc.document_element().children("cluster"))
    for (pugi::xml_node r : c.children("reference"))
      out.push_back(r.child("source_cluster").attribute("sysid").value());
  return out;
}

TEST(PbPub, FoundBesideTheHostAndDumpsTheInstancesOfAnExampleAssembly) {
  EXPECT_EQ(fs::path(pb_pub()), fs::path(VTM_BINARY_DIR) / "bin" / "pb_pub");
  fs::path temp = as_string(host::oli::sd_inq_temp_dir());
  EXPECT_TRUE(fs::is_directory(temp));
  EXPECT_EQ(as_string(host::oli::sd_inq_temp_dir()), temp.string()) << "one directory per run";

  fs::path sda = temp / "frame.sda.xml", sdac = temp / "frame.sdac.xml";
  EXPECT_EQ(host::system::call_system(pb_pub() + " -S -i '" + (examples / "asm" / "frame.sda").string() +
                                      "' > '" + sda.string() + "'"),
            0);
  EXPECT_EQ(host::system::call_system(pb_pub() + " -S -i '" + (examples / "asm" / "frame.sdac").string() +
                                      "' > '" + sdac.string() + "'"),
            0);
  EXPECT_EQ(sysids(sda), std::vector<std::string>{"I-FRAME"});
  // The contents file lists the instances placed in it; the files it refers
  // to are not followed.
  EXPECT_EQ(sysids(sdac), (std::vector<std::string>{"I-FRAME-BOLT-1", "I-FRAME-BOLT-2", "I-PIN"}));
  fs::remove_all(temp);
}

TEST(PbPub, PackagesListEveryPlacedInstanceWithAFixedSysidOnce) {
  fs::path temp = fs::temp_directory_path() / ("pb_pub test " + std::to_string(::getpid()));
  fs::create_directories(temp);
  std::ofstream(temp / "p.pkg") << R"((:sdsim-model 1)
(:contents :id "bolt" :sysid "C-B" :name "bolt")
(:contents :id "sub" :sysid "C-S" :children ((:sysid "I-SB" :contents "bolt") (:contents "bolt")))
(:crash)
(:model :sysid "I-TOP" :contents (:sysid "C-T" :children ((:sysid "I-S1" :contents "sub")
                                                          (:sysid "I-S2" :contents "sub")
                                                          (:sysid "I-X" :contents (:name "inline"))))))";
  fs::path out = temp / "p.xml";
  ASSERT_EQ(host::system::call_system(pb_pub() + " -S -i '" + (temp / "p.pkg").string() + "' > '" +
                                      out.string() + "'"),
            0);
  // The dump reads the file; the crash form is the host's business only.
  EXPECT_EQ(sysids(out), (std::vector<std::string>{"I-TOP", "I-SB", "I-S1", "I-S2", "I-X"}));
  fs::remove_all(temp);
}

TEST(PbPub, MissingOrForeignFileGivesAMessageAndNoOutput) {
  fs::path temp = fs::temp_directory_path() / ("pb_pub fail " + std::to_string(::getpid()));
  fs::create_directories(temp);
  std::ofstream(temp / "drawing.ami") << "(:sdsim-ami 1) (:drawing :number \"D\")";
  for (const fs::path& input : {temp / "missing.sdp", temp / "drawing.ami"}) {
    int status =
        host::system::call_system(pb_pub() + " -S -i '" + input.string() + "' > '" + (temp / "out").string() +
                                  "' 2> '" + (temp / "err").string() + "'");
    EXPECT_NE(status, 0) << input;
    EXPECT_EQ(read_file(temp / "out"), "") << input;
    EXPECT_NE(read_file(temp / "err").find(input.filename().string()), std::string::npos)
        << read_file(temp / "err");
  }
  EXPECT_NE(host::system::call_system(pb_pub() + " -i x.sdp 2>/dev/null"), 0) << "-S is required";
  EXPECT_TRUE(host::lisp::is_nil(host::frame2::find_executable("no-such-program-here")));
  fs::remove_all(temp);
}

}  // namespace
