// GET-MODULE-MANIFEST: the module's name, version, build date and notice.
#include "frame/loadmodule.h"
#include "host/lisp/errors.h"
#include "host/native.h"

namespace {

using host::lisp::ref;

// __DATE__ already reads like "Nov  7 2023".
constexpr char build_date[] = __DATE__;
constexpr char copyright[] = "Copyright (c) " VTM_BUILD_YEAR " Vantrel. All rights reserved.";

LAOBJ* module_name_key = nullptr;
LAOBJ* version_key = nullptr;
LAOBJ* build_date_key = nullptr;
LAOBJ* copyright_key = nullptr;

ref narrow_text(const char* text) { return ref(make_simple_string(host::lisp::widen(text).c_str())); }

// A fresh list of fresh strings on every call.
LAOBJ* get_module_manifest(int count, LAOBJ**) {
  if (count != 0) host::lisp::argument_count_error("GET-MODULE-MANIFEST", count, 0, 0);
  return host::lisp::autorelease(host::lisp::list({
      module_name_key, ref(make_simple_string(L"vt_migrator")),  //
      version_key, ref(make_simple_string(L"1.1.1")),            //
      build_date_key, narrow_text(build_date),                   //
      copyright_key, narrow_text(copyright),                     //
  }));
}

}  // namespace

void manifest_initialize() {
  version_key = make_keyword(L"VERSION");
  build_date_key = make_keyword(L"BUILD-DATE");
  copyright_key = make_keyword(L"COPYRIGHT");
  module_name_key = make_keyword(L"MODULE-NAME");
  make_package_function(L"GET-MODULE-MANIFEST", get_module_manifest,
                        LOADMODULE::instance().get_main_package(), 2);
}
