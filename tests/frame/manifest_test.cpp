#include <gtest/gtest.h>

#include <regex>

#include "support/module_fixture.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/module_manager.h"

namespace {

using namespace host::lisp;

TEST(Manifest, HasItsFourEntriesInOrder) {
  vtm_test::load_module_once();
  const auto entries = list_to_vector(vtm_test::eval("(vantrel-migrator:get-module-manifest)"));
  ASSERT_EQ(entries.size(), 8u);
  const char* keys[] = {"MODULE-NAME", "VERSION", "BUILD-DATE", "COPYRIGHT"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(entries[2 * i].get(), &keyword(keys[i]));
  EXPECT_EQ(as_string(entries[1]), "vt_migrator");
  EXPECT_EQ(as_string(entries[3]), "1.1.1");
  EXPECT_TRUE(
      std::regex_match(as_string(entries[5]), std::regex("(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                                         "[ 123][0-9] [0-9]{4}")))
      << as_string(entries[5]);
  EXPECT_TRUE(std::regex_match(as_string(entries[7]), std::regex("Copyright \\(c\\) [0-9]{4} .+")))
      << as_string(entries[7]);
}

TEST(Manifest, EveryCallBuildsNewListAndStrings) {
  vtm_test::load_module_once();
  ref first = vtm_test::eval("(vtm::get-module-manifest)");
  ref second = vtm_test::eval("(vtm::get-module-manifest)");
  EXPECT_FALSE(first == second);
  EXPECT_TRUE(equal(first, second));
  EXPECT_FALSE(car(cdr(first)) == car(cdr(second)));
}

TEST(Manifest, TakesNoArguments) {
  vtm_test::load_module_once();
  EXPECT_EQ(vtm_test::error_of("(vtm:get-module-manifest 1)"),
            "Invalid number of arguments to GET-MODULE-MANIFEST: 1 (expected 0).");
}

TEST(Manifest, IsTheSourceOfTheModuleId) {
  vtm_test::load_module_once();
  EXPECT_EQ(as_string(vtm_test::eval("vtm:+module-id+")), "VT_MIGRATOR");
  EXPECT_NE(dsm_module_manager.find_module(L"VT_MIGRATOR"), nullptr);
}

}  // namespace
