#include <gtest/gtest.h>

#include <filesystem>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/native.h"

namespace {

using namespace host::lisp;

struct seen_by_unit {
  int calls = 0;
  char* data = reinterpret_cast<char*>(1);
  int size = -1;
  std::string name, truename;
} seen;

}  // namespace

// A unit of this test program, found by the host's loader like a module's.
extern "C" void sim_probe_unit_initialize(char* data, int size, LAOBJ* unit) {
  ++seen.calls;
  seen.data = data;
  seen.size = size;
  seen.name = as_string(ref(unit));
  seen.truename = namestring(symbol_value(cl_symbol("*LOAD-TRUENAME*")));
  set_symbol_value(cl_symbol("*PACKAGE*"), ref(&require_package("OLI")));
}

namespace {

TEST(UnitLoader, CallsTheUnitsEntryWhileNamingItsLibrary) {
  package& before = current_package();
  ref truename_before = symbol_value(cl_symbol("*LOAD-TRUENAME*"));
  EXPECT_EQ(hcl_load_and_compile_lisp(L"some/where/sim_probe_unit", L"vt_migrator/l", false, true), 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.data, nullptr);
  EXPECT_EQ(seen.size, 0);
  EXPECT_EQ(seen.name, "sim_probe_unit");
  // The entry is in this program, so the program is the library.
  EXPECT_EQ(seen.truename, std::filesystem::canonical("/proc/self/exe").string());
  EXPECT_EQ(&current_package(), &before);
  EXPECT_TRUE(symbol_value(cl_symbol("*LOAD-TRUENAME*")) == truename_before);
  EXPECT_EQ(as_string(list_to_vector(eval_string("(sdsim:loaded-units)")).back()), "sim_probe_unit");
}

TEST(UnitLoader, AMissingEntryIsAnErrorNamingTheUnit) {
  try {
    hcl_load_and_compile_lisp(L"vt_migrator/lsp/no_such_unit", L"vt_migrator/l", false, true);
    ADD_FAILURE() << "loaded a unit that does not exist";
  } catch (const lisp_error& e) {
    EXPECT_NE(std::string(e.message()).find("vt_migrator/lsp/no_such_unit"), std::string::npos)
        << e.message();
    EXPECT_NE(std::string(e.message()).find("no_such_unit_initialize"), std::string::npos) << e.message();
  }
}

}  // namespace
