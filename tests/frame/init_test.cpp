// Registration, the first and later calls of init_load_init, and the
// packages and names the units set up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "frame/loadmodule.h"
#include "support/module_fixture.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"

namespace {

using namespace host::lisp;
using testing::ElementsAre;

std::vector<std::string> strings(const ref& list) {
  std::vector<std::string> out;
  for (const ref& item : list_to_vector(list)) out.push_back(as_string(item));
  return out;
}

TEST(ModuleRegistration, RegistersOnceWithTheModuleManager) {
  MOD_INFO* info = dsm_module_manager.find_module(L"VT_MIGRATOR");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->version, L"1.1.1");
  int registered = 0;
  for (MOD_INFO* m : dsm_module_manager.modules()) registered += m->id == L"VT_MIGRATOR";
  EXPECT_EQ(registered, 1);
}

TEST(ModuleRegistration, CallbacksAnswerForTheModule) {
  vtm_test::load_module_once();
  MOD_INFO* info = dsm_module_manager.find_module(L"VT_MIGRATOR");
  ASSERT_NE(info, nullptr);
  // No key is ever assigned to the module's resource id.
  EXPECT_STREQ(info->inq_msg(), L"*** Requested resource unvailable!");
  EXPECT_STREQ(info->inq_id(), L"NIL");
  try {
    info->throw_error(info);
    ADD_FAILURE() << "throw_error returned";
  } catch (const SD_EXCEPTION& e) {
    EXPECT_EQ(e.module_info(), info);
    SD_EXCEPTION copy(e);
    EXPECT_EQ(copy.module_info(), info);
  }
}

TEST(InitLoadInit, LoadsTheUnitsOnceThenOnlyCounts) {
  ASSERT_EQ(vtm_test::load_module_once(), 1);
  const auto units = strings(vtm_test::eval("(sdsim:loaded-units)"));
  // SD-DOC-TOOLS existed, so vtm_doctools is not among them.
  EXPECT_THAT(units, ElementsAre("vtm_core_config", "vtm_core", "vtm_config", "vtm_settings_dia", "vt_utils",
                                 "vt_model", "vt_filerecords", "vt_recordmanager", "vt_resolver",
                                 "vt_analytics", "vt_report", "vt_xhtml", "vt_query", "vt_in_session_records",
                                 "DrawingAssociator", "MMImportAssembler", "MMAssistedCheckin", "vtm"));
  EXPECT_EQ(init_load_init(), 2);
  EXPECT_EQ(init_load_init(), 3);
  EXPECT_EQ(strings(vtm_test::eval("(sdsim:loaded-units)")), units);
}

TEST(InitLoadInit, UsesAnExistingDocToolsPackage) {
  vtm_test::load_module_once();
  package& doc = require_package("SD-DOC-TOOLS");
  EXPECT_EQ(find_package("SDDT"), &doc);
  // vtm_doctools would have exported its macros' names.
  EXPECT_TRUE(doc.externals.empty());
  const auto& uses = require_package("VANTREL-MIGRATOR").use_list;
  EXPECT_NE(std::find(uses.begin(), uses.end(), &doc), uses.end());
}

TEST(InitLoadInit, SetsUpTheMainPackage) {
  vtm_test::load_module_once();
  package& main = require_package("VANTREL-MIGRATOR");
  EXPECT_EQ(find_package("VTM"), &main);
  EXPECT_EQ(as_package(ref(sModule.get_main_package())).name, "VANTREL-MIGRATOR");
  for (const char* used : {"COMMON-LISP", "OLI", "SD-DOC-TOOLS"}) {
    package* p = find_package(used);
    EXPECT_NE(std::find(main.use_list.begin(), main.use_list.end(), p), main.use_list.end()) << used;
  }
  for (const char* name :
       {"+MODULE-ID+", "*USER-INTERFACE-INTEGRATION*", "GET-MODULE-MANIFEST", "LOAD-MODULE-CUSTOMIZATION",
        "DISPLAY-MODULE-HELP", "ABOUT-MODULE", "GET-AVAILABLE-COMMANDS", "ACTIVATE-MODULE",
        "DEACTIVATE-MODULE", "MODULE-ACTIVE-P"}) {
    symbol_status status;
    find_symbol(name, main, &status);
    EXPECT_EQ(status, symbol_status::external) << name;
  }
  for (const char* name : {"REGISTER-MODULE-RESOURCE", "GET-RESOURCE", "SET-ENTITY-SYSID"}) {
    symbol_status status;
    symbol* s = find_symbol(name, main, &status);
    EXPECT_EQ(status, symbol_status::internal) << name;
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(is_nil(s->function)) << name;
  }
  // Units do their in-package within their own load only.
  EXPECT_EQ(&current_package(), &user_package());
}

TEST(InitLoadInit, PublishesTheDialogsAsHostCommands) {
  vtm_test::load_module_once();
  package& main = require_package("VANTREL-MIGRATOR");
  package& oli = require_package("OLI");
  package& mei = require_package("MEI");
  for (const char* dialog : {"VTM_SETTINGS", "VANTREL_DRAWING_ASSOCIATOR", "VANTREL_MM_IMPORT_ASSEMBLER",
                             "VANTREL_MM_ASSISTED_CHECKIN"}) {
    symbol_status in_main, in_oli;
    symbol* s = find_symbol(dialog, main, &in_main);
    ASSERT_NE(s, nullptr) << dialog;
    EXPECT_EQ(s->home_package, &main) << dialog;
    EXPECT_EQ(in_main, symbol_status::external) << dialog;
    EXPECT_EQ(find_symbol(dialog, oli, &in_oli), s) << dialog;
    EXPECT_EQ(in_oli, symbol_status::external) << dialog;
    EXPECT_EQ(find_symbol(dialog, mei), s) << dialog;
    EXPECT_NE(std::find(mei.shadowing.begin(), mei.shadowing.end(), s), mei.shadowing.end()) << dialog;
  }
}

TEST(LoadCustomization, CallsTheCustomizationWithTOnlyWhenItExists) {
  vtm_test::load_module_once();
  package& main = require_package("VANTREL-MIGRATOR");
  symbol* customization = find_symbol("LOAD-MODULE-CUSTOMIZATION", main);
  ASSERT_NE(customization, nullptr);

  main.externals.erase(customization->name);
  EXPECT_NO_THROW(load_customization());
  main.externals.emplace(customization->name, customization);

  std::vector<ref> calls;
  ref saved = customization->function;
  defun(*customization, [&](args_t args) {
    calls.insert(calls.end(), args.begin(), args.end());
    return nil();
  });
  load_customization();
  customization->function = saved;
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], t());
}

TEST(NativeHelpers, MakeConsAndFEerror) {
  vtm_test::load_module_once();
  LCONS* cell = make_cons(make_integer(1).get(), nil().get());
  EXPECT_EQ(prin1_to_string(ref(cell)), "(1)");
  LAOBJ* argument = autorelease(make_string("x"));
  try {
    FEerror(L"Bad ~S here", argument);
  } catch (const lisp_error& e) {
    EXPECT_EQ(e.message(), "Bad \"x\" here");
  }
  drain_autorelease_pool();
}

}  // namespace
