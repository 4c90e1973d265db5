#include "stage1/component_check.h"

#include "host/files.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "stage1_fixture.h"

namespace stage1_test {
namespace {

using vtm::stage1::check_component;

class ComponentCheck : public Stage1Test {
 protected:
  void SetUp() override {
    Stage1Test::SetUp();
    host::frame2_ui::universal_load(
        write("parts.pkg",
              "(:sdsim-model 1)\n"
              "(:model :name \"rail\" :contents (:name \"rail\" :check-result ((\"Error:\" (\"face\" \"Face "
              "3 is not "
              "closed\" 1 2) (\"edge\" \"gap\")) (\"Warning:\" (\"edge\" \"short edge\")) (\"Error:\" "
              "(\"body\" "
              "\"not solid\" 7)))))\n"
              "(:model :name \"cover\" :contents (:name \"cover\" :check-error \"The part check cannot read "
              "cover.\"))\n"
              "(:model :name \"clean\" :contents (:name \"clean\"))\n")
            .string());
  }
  static hl::ref at(const std::string& pathname) { return host::oli::sd_pathname_to_obj(pathname); }
};

TEST_F(ComponentCheck, KeepsTheErrorEntriesWithTheCountAfterEachDescription) {
  EXPECT_EQ(hl::prin1_to_string(check_component(at("/rail"), true)),
            "((\"Error:\" ((2 \"Face 3 is not closed\") (0 \"gap\"))) (\"Error:\" ((1 \"not solid\"))))");
  EXPECT_TRUE(hl::is_nil(check_component(at("/clean"), true)));
  EXPECT_EQ(output(), "");
}

TEST_F(ComponentCheck, IsNilWhenSwitchedOffOrWhenTheCheckFailsWhichIsShown) {
  EXPECT_TRUE(hl::is_nil(check_component(at("/rail"), false)));
  EXPECT_TRUE(hl::is_nil(check_component(at("/cover"), true)));
  EXPECT_EQ(output(), "Error: The part check cannot read cover.\n");
}

TEST(CheckResultErrors, PassesOverLabelsThatAreNoErrorAndEntriesThatAreNoString) {
  const hl::ref result =
      hl::read_from_string("((\"error:\" (a \"x\")) (:error (a \"y\")) (\"Error:\") (\"Error:\" (a)))");
  EXPECT_EQ(hl::prin1_to_string(vtm::stage1::check_result_errors(result)),
            "((\"Error:\" NIL) (\"Error:\" ((0 NIL))))");
}

}  // namespace
}  // namespace stage1_test
