// The about table, the help pages and the customization order.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core_fixture.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"

namespace {

using core_test::eval;
using core_test::output_of;
using core_test::print;
namespace fs = std::filesystem;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

TEST(About, ShowsIdentityAndAlignedConfiguration) {
  core_test::load_module();
  std::vector<std::string> lines = lines_of(output_of("(vtm:about-module)"));
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "### About the 'vt_migrator' Vantrel Migrator Extension");
  EXPECT_EQ(lines[1], "### - Version:    1.1.1");
  EXPECT_EQ(lines[2].rfind("### - Build Date: ", 0), 0u);
  EXPECT_EQ(lines[4], "### Vantrel Migrator Configuration:");
  const std::string help = print("vtm::+module-help-location+");
  const std::size_t w = std::string("+MODULE-HELP-LOCATION+").size();
  // The rule spans name and value columns, without the "| " between them.
  EXPECT_EQ(lines[6], "### " + std::string(w + help.size(), '='));
  EXPECT_EQ(lines[5], "### Setting" + std::string(w - 7, ' ') + "| Value");
  EXPECT_EQ(lines[7], "### +HOME+" + std::string(w - 6, ' ') + "| " + print("vtm::+home+"));
  EXPECT_EQ(lines[8], "### +MODULE-HELP-LOCATION+| " + help);
  EXPECT_EQ(lines[10], "### +MODULE-ID+" + std::string(w - 11, ' ') + "| \"VT_MIGRATOR\"");
}

TEST(Help, OpensPagesWithAnchorsAndRefusesMissingOnes) {
  core_test::load_module();
  const std::string dir =
      output_of("(format t \"~A\" (namestring (make-pathname :directory vtm::+module-help-location+)))");
  EXPECT_EQ(output_of("(vtm:display-module-help)"), "Display URL: file://" + dir + "Home.html\n");
  EXPECT_EQ(output_of("(vtm:display-module-help \"Home.html#workflow\")"),
            "Display URL: file://" + dir + "Home.html#workflow\n");
  EXPECT_EQ(output_of("(vtm:display-module-help \"VANTREL-MIGRATOR/VTM_SETTINGS.dia.html#reset\")"),
            "Display URL: file://" + dir + "VANTREL-MIGRATOR/VTM_SETTINGS.dia.html#reset\n");
  EXPECT_EQ(output_of("(vtm:display-module-help \"Missing.html#x\")"),
            "Error box: Help page 'Missing.html#x' not found\n");
  EXPECT_EQ(print("(vtm:display-module-help \"Missing.html\")"), "NIL");
}

TEST(Help, EveryDialogHasItsPage) {
  core_test::load_module();
  for (const char* dialog : {"VTM_SETTINGS", "VANTREL_MM_IMPORT_ASSEMBLER", "VANTREL_MM_ASSISTED_CHECKIN",
                             "VANTREL_DRAWING_ASSOCIATOR"})
    EXPECT_EQ(print(std::string("(vtm:display-module-help \"VANTREL-MIGRATOR/") + dialog + ".dia.html\")"),
              "T")
        << dialog;
}

// The Drawing Associator's help is a PDF in the home directory.
TEST(Help, DrawingAssociatorHelpOpensTheInstalledPdf) {
  core_test::load_module();
  const std::string shown = output_of("(vtm::.show-drawing-associator-help.)");
  const std::string prefix = "Display URL: file://";
  ASSERT_EQ(shown.rfind(prefix, 0), 0u) << shown;
  const fs::path pdf = shown.substr(prefix.size(), shown.size() - prefix.size() - 1);
  EXPECT_EQ(pdf.filename(), "DrawingAssociator.pdf");
  std::ifstream in(pdf, std::ios::binary);
  std::string magic(8, '\0');
  in.read(magic.data(), 8);
  EXPECT_EQ(magic, "%PDF-1.4") << pdf;
}

class Customization : public testing::Test {
 protected:
  void SetUp() override {
    core_test::load_module();
    root_ = fs::temp_directory_path() / ("core customization " + std::to_string(::getpid()));
    fs::remove_all(root_);
    for (const char* level : {"corp", "site"}) write(root_ / level, level);
    ::setenv("SDCORPCUSTOMIZEDIR", (root_ / "corp").c_str(), 1);
    ::setenv("SDSITECUSTOMIZEDIR", (root_ / "site").c_str(), 1);
    write(core_test::load_module(), "user");
    eval("(defvar cl-user::*levels* nil)");
    eval("(setq cl-user::*levels* nil)");
  }
  void TearDown() override {
    ::unsetenv("SDCORPCUSTOMIZEDIR");
    ::unsetenv("SDSITECUSTOMIZEDIR");
    fs::remove_all(core_test::load_module() / "VT_MIGRATOR");
    fs::remove_all(root_);
  }
  static void write(const fs::path& dir, const std::string& level) {
    fs::create_directories(dir / "VT_MIGRATOR");
    std::ofstream(dir / "VT_MIGRATOR" / "customize.lsp")
        << "(setq cl-user::*levels* (cons :" << level << " cl-user::*levels*))\n";
  }
  fs::path root_;
};

TEST_F(Customization, LoadsCorporateSiteUserAndThePersistedSettingsOnlyWhenAsked) {
  host::lisp::symbol& persisted = host::lisp::as_symbol(eval("'vtm::load-persisted-module-settings"));
  host::lisp::ref original = persisted.function;
  int calls = 0;
  host::lisp::defun(persisted, [&](host::lisp::args_t) {
    ++calls;
    return host::lisp::make_string("persisted");
  });
  EXPECT_EQ(print("(vtm:load-module-customization)"), "NIL");
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(print("cl-user::*levels*"), "(:USER :SITE :CORP)");
  EXPECT_EQ(print("(vtm:load-module-customization t)"), "\"persisted\"");
  EXPECT_EQ(calls, 1);
  persisted.function = original;
}

TEST_F(Customization, AMissingFactoryFileStopsWithItsPath) {
  eval("(defvar cl-user::*saved-home* vtm::+home+)");
  eval("(setq vtm::+home+ '(:absolute \"no\" \"such\" \"home\"))");
  host::lisp::ref message = host::lisp::trap([] { return eval("(vtm:load-module-customization)"); });
  eval("(setq vtm::+home+ cl-user::*saved-home*)");
  ASSERT_TRUE(host::lisp::is_condition(message));
  EXPECT_EQ(static_cast<host::lisp::condition_obj&>(*message).message,
            "The factory customization file '/no/such/home/vtm_customize.lsp' is missing!");
  EXPECT_EQ(print("cl-user::*levels*"), "NIL");  // nothing after the factory file ran
}

}  // namespace
