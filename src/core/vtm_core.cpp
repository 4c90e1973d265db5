#include "core/vtm_core.h"

#include "frame/loadmodule.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/native.h"

namespace vtm::core {

namespace {

using namespace host::lisp;

ref main_value(std::string_view name) {
  return symbol_value(intern(name, require_package("VANTREL-MIGRATOR")));
}

void load_resource_file() {
  pathname_parts parts;
  parts.directory = list_to_vector(main_value("+HOME+"));
  parts.name = as_string(main_value("+RESOURCE-FILE+"));
  parts.type = "lsp";
  ref file = make_pathname(std::move(parts));
  if (is_nil(probe_file(file))) FEerror(L"The module resource file '~A' is missing!", autorelease(file));
  load(to_path(file));
}

}  // namespace

void define_vtm_core() { load_resource_file(); }

}  // namespace vtm::core
