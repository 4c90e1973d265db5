// The home directory search from the pathname of the library being loaded,
// and the configuration the core units define.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/vtm_core_config.h"
#include "support/module_fixture.h"
#include "frame/units.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"

namespace {

using namespace host::lisp;
namespace fs = std::filesystem;

class HomeSearch : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("vtm home search " + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "a" / "b" / "lib");
  }
  void TearDown() override { fs::remove_all(root_); }

  void add_resource_file(const fs::path& dir) {
    fs::create_directories(root_ / dir);
    std::ofstream(root_ / dir / "vtm_resources.lsp") << "\n";
  }
  // The home found for a library in a/b/lib, as a directory path below root.
  std::string home() {
    ref library = make_pathname(parse_namestring((root_ / "a/b/lib/libvt_migrator.so").string()));
    ref found = vtm::core::find_home_directory(library, "vtm_resources");
    if (is_nil(found)) return "NIL";
    pathname_parts p;
    p.directory = list_to_vector(found);
    return fs::relative(fs::path(namestring(p)), root_).generic_string();
  }

  fs::path root_;
};

TEST_F(HomeSearch, PrefersTheLibrarysOwnDirectory) {
  add_resource_file("a/b/lib");
  add_resource_file("a/b/vt_migrator");
  add_resource_file("a");
  EXPECT_EQ(home(), "a/b/lib");
}

TEST_F(HomeSearch, ThenVtMigratorBesideIt) {
  add_resource_file("a/b/vt_migrator");
  add_resource_file("a");
  EXPECT_EQ(home(), "a/b/vt_migrator");
}

TEST_F(HomeSearch, ThenTwoLevelsUp) {
  add_resource_file("a");
  add_resource_file("a/vt_migrator");
  EXPECT_EQ(home(), "a");
}

TEST_F(HomeSearch, IsNilWithoutAResourceFile) {
  fs::create_directories(root_ / "a/b/lib/vt_migrator");
  EXPECT_EQ(home(), "NIL");
}

TEST(ModuleConfiguration, FindsTheHomeBesideTheProgramsDirectory) {
  vtm_test::load_module_once();
  // The test program lives in bin/ of the build tree; vt_migrator/ beside it
  // is the home, as in an installation.
  ref home = vtm_test::eval("vtm::+home+");
  ASSERT_TRUE(truthy(home));
  pathname_parts p;
  p.directory = list_to_vector(home);
  EXPECT_EQ(fs::canonical(namestring(p)), fs::canonical(fs::path(VTM_SOURCE_DIR) / "home"));
  EXPECT_TRUE(equal(vtm_test::eval("vtm::+module-images-dir+"),
                    vtm_test::eval("(append vtm::+home+ '(\"images\"))")));
  EXPECT_TRUE(equal(vtm_test::eval("vtm::+module-help-location+"),
                    vtm_test::eval("(append vtm::+home+ '(\"documentation\" \"pub\" \"html\"))")));
}

TEST(ModuleConfiguration, DefinesTheCoreConstants) {
  vtm_test::load_module_once();
  EXPECT_EQ(
      prin1_to_string(vtm_test::eval(
          "(list vtm:+module-id+ vtm::+customize-file+ vtm::+resource-file+ vtm:*user-interface-integration* "
          "vtm::+module-settings-dialog+ vtm::+extension-cmd-group-id+)")),
      "(\"VT_MIGRATOR\" \"customize.lsp\" \"vtm_resources\" :FLUENTUI \"VTM_SETTINGS\" \"SDEXTENSION\")");
}

TEST(ModuleConfiguration, KeepsAHomeBoundBeforeTheUnitLoads) {
  vtm_test::load_module_once();
  symbol& home = intern("+HOME+", require_package("VANTREL-MIGRATOR"));
  ref saved = symbol_value(home);
  // The unit's entry, called as the host's loader would, without logging
  // the unit as loaded once more.
  auto load_unit_again = [] {
    special_binding package(cl_symbol("*PACKAGE*"), ref(&current_package()));
    vtm_core_config_initialize(nullptr, 0, make_string("vtm_core_config").get());
  };
  set_symbol_value(home, vtm_test::eval("'(:absolute \"elsewhere\")"));
  load_unit_again();
  EXPECT_EQ(prin1_to_string(vtm_test::eval("(list vtm::+home+ vtm::+module-images-dir+)")),
            "((:ABSOLUTE \"elsewhere\") (:ABSOLUTE \"elsewhere\" \"images\"))");
  set_symbol_value(home, saved);
  load_unit_again();
  EXPECT_TRUE(equal(vtm_test::eval("vtm::+module-images-dir+"),
                    vtm_test::eval("(append vtm::+home+ '(\"images\"))")));
}

}  // namespace
