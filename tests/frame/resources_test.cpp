#include <gtest/gtest.h>

#include <filesystem>

#include "frame/loadmodule.h"
#include "support/module_fixture.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"

namespace {

using namespace host::lisp;
using vtm_test::error_of;
using vtm_test::eval;

std::string resource(std::string_view key) {
  return as_string(eval("(vtm::get-resource :" + std::string(key) + ")"));
}

constexpr const char* unavailable = "*** Requested resource unvailable!";

TEST(RegisterModuleResource, TakesPairsAndAnswersT) {
  vtm_test::load_module_once();
  EXPECT_EQ(eval("(vtm::register-module-resource)"), t());
  EXPECT_EQ(error_of("(vtm::register-module-resource :res-odd \"a\" :res-odd-2)"),
            "Even number of arguments required! Found 3");
  EXPECT_EQ(resource("res-odd"), unavailable);
}

TEST(RegisterModuleResource, FirstPairOfACallWinsAndLaterCallsOverwrite) {
  vtm_test::load_module_once();
  EXPECT_EQ(eval("(vtm::register-module-resource :res-a \"x\" :res-a \"y\")"), t());
  EXPECT_EQ(resource("res-a"), "x");
  eval("(vtm::register-module-resource :res-a \"z\")");
  EXPECT_EQ(resource("res-a"), "z");
}

TEST(RegisterModuleResource, StopsAtTheFirstBadPairFromTheEnd) {
  vtm_test::load_module_once();
  EXPECT_NE(error_of("(vtm::register-module-resource :res-b1 \"1\" :res-b2 5 :res-b3 \"3\")"), "");
  EXPECT_EQ(resource("res-b3"), "3");
  EXPECT_EQ(resource("res-b1"), unavailable);
  EXPECT_NE(error_of("(vtm::register-module-resource \"res-b4\" \"4\")").find("is not of type KEYWORD"),
            std::string::npos);
}

TEST(GetResource, AnswersTextKeyNameOrDefault) {
  vtm_test::load_module_once();
  eval("(vtm::register-module-resource :res-empty \"\" :res-text \"Text ~A\")");
  EXPECT_EQ(resource("res-empty"), "RES-EMPTY");
  EXPECT_EQ(resource("res-text"), "Text ~A");
  EXPECT_EQ(resource("res-never-registered"), unavailable);
  ref first = eval("(vtm::get-resource :res-text)");
  ref second = eval("(vtm::get-resource :res-text)");
  EXPECT_FALSE(first == second);
}

TEST(GetResource, WantsExactlyOneKeyword) {
  vtm_test::load_module_once();
  EXPECT_EQ(error_of("(vtm::get-resource \"module-title\")"),
            "The value \"module-title\" is not of type KEYWORD.");
  EXPECT_EQ(error_of("(vtm::get-resource)"), "Invalid number of arguments to GET-RESOURCE: 0 (expected 1).");
  EXPECT_EQ(error_of("(vtm::get-resource :a :b)"),
            "Invalid number of arguments to GET-RESOURCE: 2 (expected 1).");
}

TEST(ResourceFile, HasATextForEveryKeyTheModuleAsksFor) {
  vtm_test::load_module_once();
  for (const char* key : {"module-title",
                          "bronta-cmd-group-title",
                          "extension-modules-page-title",
                          "factory-customization-not-found",
                          "help-cmd-group-title",
                          "migration-tools-group-title",
                          "settings-cmd-title",
                          "settings-cmd-description",
                          "settings-cmd-image",
                          "display-doc-cmd-description",
                          "display-doc-cmd-image",
                          "module-about-cmd-title",
                          "module-about-cmd-description",
                          "module-about-cmd-image",
                          "drawing_associator-title",
                          "drawing_associator-cmd-description",
                          "drawing_associator-cmd-image",
                          "import_assembler-title",
                          "import_assembler-cmd-description",
                          "import_assembler-cmd-image",
                          "assisted_checkin-title",
                          "assisted_checkin-cmd-description",
                          "assisted_checkin-cmd-image",
                          "reset-var-title",
                          "import_assembler-inputdir",
                          "migration-stagingdir",
                          "import_assembler-dir-not-found",
                          "migration-stagingdir-not-found",
                          "model-scanning-error-fmt"}) {
    std::string text = resource(key);
    EXPECT_NE(text, unavailable) << key;
    if (std::string_view(key).ends_with("-image")) {
      EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(VTM_SOURCE_DIR) / "home/images" / text))
          << text;
    }
  }
  EXPECT_EQ(resource("module-title"), "Vantrel Migrator");
}

TEST(ModuleResources, NativeLookupsFallBackToTheDefaultText) {
  vtm_test::load_module_once();
  MODULE_RESOURCES& resources = MODULE_RESOURCES::instance();
  LAOBJ* key = &keyword("RES-NATIVE");
  EXPECT_EQ(resources[key], L"*** Requested resource unvailable!");
  resources.add_resource(key, L"native");
  EXPECT_EQ(resources[key], L"native");
  EXPECT_EQ(resource("res-native"), "native");
  EXPECT_TRUE(is_nil(resources.get_resource_key(RESOURCE_ID_MODULE)));
  EXPECT_EQ(resources[RESOURCE_ID_MODULE], L"*** Requested resource unvailable!");
}

}  // namespace
