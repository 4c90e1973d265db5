#include "host/module_manager.h"

#include <gtest/gtest.h>

#include "host/lisp/eval.h"
#include "host/lisp/printer.h"

namespace {

const wchar_t* message() { return L"message"; }
const wchar_t* id_text() { return L"ID"; }
void raise(MOD_INFO*) {}

TEST(ModuleManager, RegistersAnIdOnceAndUpdatesItInPlace) {
  EXPECT_EQ(dsm_module_manager.find_module(L"TEST_MODULE"), nullptr);
  MOD_INFO* first = dsm_module_manager.add_module(L"TEST_MODULE", L"1.0", raise, message, id_text);
  const std::size_t count = dsm_module_manager.modules().size();
  MOD_INFO* again = dsm_module_manager.add_module(L"TEST_MODULE", L"2.0", raise, message, id_text);
  EXPECT_EQ(again, first);
  EXPECT_EQ(first->version, L"2.0");
  EXPECT_EQ(dsm_module_manager.modules().size(), count);
  EXPECT_EQ(dsm_module_manager.find_module(L"TEST_MODULE"), first);
  const std::string listed =
      host::lisp::prin1_to_string(host::lisp::eval_string("(sdsim:registered-modules)"));
  EXPECT_NE(listed.find("(\"TEST_MODULE\" \"2.0\" \"ID\" \"message\")"), std::string::npos) << listed;
}

}  // namespace
