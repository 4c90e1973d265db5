#include "analytics/xhtml.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <utf8.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/printer.h"
#include "host/xml.h"
#include "support/module_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace oli = host::oli;
using namespace vtm::analytics;
using host::lisp::ref;

class Xhtml : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("xhtml test " + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Saves the document and reads it back through the XML service.
  ref save_and_read(const std::string& name = "report.htm") {
    save_xdocument(dir_ / name);
    ref doc = oli::sd_xml_read_file((dir_ / name).string());
    EXPECT_FALSE(host::lisp::is_nil(doc)) << "unreadable " << name;
    return oli::sd_xml_document_root(doc);
  }

  std::string text_of(const std::string& name) {
    std::ifstream in(dir_ / name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  static std::vector<std::string> names(const std::vector<ref>& elements) {
    std::vector<std::string> out;
    for (const ref& e : elements) out.push_back(oli::sd_xml_element_name(e));
    return out;
  }

  fs::path dir_;
};

TEST_F(Xhtml, ItemsApplyInOrderAndNothingVanishes) {
  ref root = make_xdocument();
  ref b = xelement("b");
  ref row = xelement("tr", {xelement("td", {"one"}), std::monostate{}, xattribute{"class", "odd"},
                            std::vector<ref>{xelement("td", {"two"}), xelement("td", {"three"}), b},
                            std::vector<ref>{}, xelement("td", {"last"})});
  oli::sd_xml_element_add_child(root, xelement("body", {xelement("table", {row}), xelement("p")}));
  ref read = save_and_read();

  EXPECT_EQ(oli::sd_xml_element_name(read), "html");
  ref body = oli::sd_xml_element_children(read).at(0);
  ref table = oli::sd_xml_element_children(body, "table").at(0);
  ref tr = oli::sd_xml_element_children(table).at(0);
  EXPECT_EQ(names(oli::sd_xml_element_children(tr)), (std::vector<std::string>{"td", "td", "td", "b", "td"}));
  EXPECT_EQ(oli::sd_xml_element_text(oli::sd_xml_element_children(tr).at(2)), "three");
  EXPECT_EQ(host::lisp::as_string(oli::sd_xml_element_attribute(tr, "class")), "odd");
  // Empty elements stay empty.
  EXPECT_TRUE(oli::sd_xml_element_children(oli::sd_xml_element_children(body, "p").at(0)).empty());
  EXPECT_EQ(oli::sd_xml_element_text(oli::sd_xml_element_children(body, "p").at(0)), "");
}

TEST_F(Xhtml, TextsReadBackUnchangedAndTheFileIsPrettyUtf8) {
  const std::string awkward = "a < b & \"c\" > 'd' — Größe ✓";
  ref root = make_xdocument();
  oli::sd_xml_element_add_child(root,
                                xelement("body", {xelement("p", {awkward, xattribute{"title", awkward}})}));
  ref read = save_and_read();
  ref p = oli::sd_xml_element_children(oli::sd_xml_element_children(read).at(0)).at(0);
  EXPECT_EQ(oli::sd_xml_element_text(p), awkward);
  EXPECT_EQ(host::lisp::as_string(oli::sd_xml_element_attribute(p, "title")), awkward);

  const std::string text = text_of("report.htm");
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html>\n", 0), 0u) << text;
  EXPECT_NE(text.find("\n  <body>\n    <p "), std::string::npos) << text;
  EXPECT_EQ(text.find("DOCTYPE"), std::string::npos);
}

TEST_F(Xhtml, NamesWithControlCharactersOrBytesThatAreNoUtf8StillGiveWellFormedUtf8) {
  // A file name from an old file server: a control character and a Latin-1 byte.
  const std::string odd = "part\x01name\xe9\x1f.sd";
  ref root = make_xdocument();
  oli::sd_xml_element_add_child(root, xelement("body", {xelement("p", {odd, xattribute{"title", odd}})}));
  ref read = save_and_read();
  ref p = oli::sd_xml_element_children(oli::sd_xml_element_children(read).at(0)).at(0);
  EXPECT_EQ(oli::sd_xml_element_text(p), "part\u2401name\ufffd\u241f.sd");
  EXPECT_EQ(host::lisp::as_string(oli::sd_xml_element_attribute(p, "title")),
            "part\u2401name\ufffd\u241f.sd");
  const std::string text = text_of("report.htm");
  EXPECT_EQ(utf8::find_invalid(text.begin(), text.end()), text.end());
  EXPECT_EQ(text.find("&#"), std::string::npos) << text;
}

TEST_F(Xhtml, TheStreamWritesWhatTheServiceWritesForTheSameTree) {
  // Empty elements, elements with only a text, texts followed by children
  // (which then follow on the text's line, to any depth), and texts and
  // attribute values with XML's special characters, tabs, line breaks,
  // control characters and bytes that are no UTF-8.
  const std::string odd =
      "a < b & \"c\" > 'd'\tx\ny\r\x01\x1f \xe9 Gr\xc3\xb6\xc3\x9f"
      "e";
  ref root = make_xdocument();
  oli::sd_xml_element_add_child(root, xelement("head", {xelement("title", {odd})}));
  oli::sd_xml_element_add_child(
      root, xelement("body", {xelement("p"),
                              xelement("div", {odd,
                                               xelement("table", {xattribute{"border", "1"},
                                                                  xelement("tr", {xelement("td", {"x"}),
                                                                                  xelement("td", {""})})}),
                                               xelement("b", {"u", xelement("i", {xelement("q")})}),
                                               xelement("ol", {xelement("li", {"one"})})}),
                              xelement("p", {xattribute{"title", odd}, "after"})}));
  save_xdocument(dir_ / "tree.htm");

  std::ostringstream streamed;
  xhtml_stream x(streamed);
  x.open("head");
  x.element("title", odd);
  x.close();
  x.open("body");
  x.open("p");
  x.close();
  x.open("div");
  x.text(odd);
  x.open("table", {{"border", "1"}});
  x.open("tr");
  x.element("td", "x");
  x.element("td", "");
  x.close();
  x.close();
  x.open("b");
  x.text("u");
  x.open("i");
  x.open("q");
  x.close();
  x.close();
  x.close();
  x.open("ol");
  x.element("li", "one");
  x.close();
  x.close();
  x.open("p", {{"title", odd}});
  x.text("after");
  x.finish();
  EXPECT_EQ(streamed.str(), text_of("tree.htm"));
}

TEST_F(Xhtml, SavingEmptiesTheStateAndTheNextDocumentStartsFresh) {
  make_xdocument();
  xelement("orphan");
  save_xdocument(dir_ / "first.htm");
  EXPECT_EQ(oli::sd_xml_cached_document_count(), 0u);

  ref root = make_xdocument();
  oli::sd_xml_element_add_child(root, xelement("body"));
  ref read = save_and_read("second.htm");
  EXPECT_EQ(names(oli::sd_xml_element_children(read)), std::vector<std::string>{"body"});
  EXPECT_EQ(text_of("first.htm").find("orphan"), std::string::npos);
}

TEST_F(Xhtml, AnElementIsAttachedOnceAndOnlyInItsDocument) {
  ref root = make_xdocument();
  ref child = xelement("p");
  oli::sd_xml_element_add_child(root, child);
  EXPECT_THROW(oli::sd_xml_element_add_child(root, child), host::lisp::lisp_error);
  ref other = oli::sd_xml_create_document();
  ref stranger = oli::sd_xml_create_element(other, "q");
  EXPECT_THROW(oli::sd_xml_element_add_child(root, stranger), host::lisp::lisp_error);
  EXPECT_THROW(oli::sd_xml_write_file(root, (dir_ / "x").string(), true, "UTF-8"), host::lisp::lisp_error);
}

TEST_F(Xhtml, UnwritableAndUnreadableFilesAreReported) {
  make_xdocument();
  try {
    save_xdocument(dir_ / "no such dir" / "report.htm");
    ADD_FAILURE() << "no error";
  } catch (const host::lisp::lisp_error& e) {
    EXPECT_NE(e.message().find("no such dir/report.htm"), std::string::npos) << e.message();
  }
  std::ofstream(dir_ / "broken.xml") << "<a><b></a>";
  EXPECT_TRUE(host::lisp::is_nil(oli::sd_xml_read_file((dir_ / "broken.xml").string())));
  EXPECT_TRUE(host::lisp::is_nil(oli::sd_xml_read_file((dir_ / "missing.xml").string())));
}

TEST_F(Xhtml, LispCallersBuildTheSameTree) {
  vtm_test::load_module_once();
  const std::string file = (dir_ / "lisp.htm").string();
  vtm_test::eval(
      "(let ((root (vtm::make-xdocument \"html\")))"
      "  (oli:sd-xml-element-add-child root"
      "    (vtm::xelement \"body\" (vtm::make-xattribute :name \"id\" :value \"b\")"
      "      (list (vtm::xelement \"p\" \"x\") (vtm::xelement \"p\" \"y\")) nil 42 (vtm::xelement "
      "\"hr\"))))");
  EXPECT_TRUE(host::lisp::is_nil(vtm_test::eval("(vtm::save-xdocument #P\"" + file + "\")")));
  ref body = oli::sd_xml_element_children(oli::sd_xml_document_root(oli::sd_xml_read_file(file))).at(0);
  EXPECT_EQ(names(oli::sd_xml_element_children(body)), (std::vector<std::string>{"p", "p", "hr"}));
  EXPECT_EQ(host::lisp::as_string(oli::sd_xml_element_attribute(body, "id")), "b");
}

}  // namespace
