#include "core/vtm_doctools.h"

#include <vector>

#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/ui.h"

namespace vtm::core::doc {

using namespace host::lisp;

namespace {

const char* function_name(kind k) {
  switch (k) {
    case kind::dialog:
      return ".~~~DIALOG.";
    case kind::feat:
      return ".~~~FEAT.";
    case kind::fun:
      return ".~~~FUN.";
    case kind::pkg:
      return ".~~~PKG.";
    case kind::struct_:
      return ".~~~STRUCT.";
    case kind::type:
      return ".~~~TYPE.";
    case kind::var:
      return ".~~~VAR.";
    case kind::class_:
      return ".~~~CLASS.";
  }
  return "";
}

void hand_over(kind k, std::vector<ref> arguments, std::initializer_list<std::string_view> lines) {
  for (std::string_view l : lines) arguments.push_back(make_string(l));
  funcall(ref(&intern(function_name(k), require_package("SD-DOC-TOOLS"))), arguments);
}

}  // namespace

void document(kind k, const ref& name, std::initializer_list<std::string_view> lines) {
  if (!host::system::debug_mode_p()) return;
  hand_over(k, {name}, lines);
}

void function(const ref& name, const ref& specializer, std::initializer_list<std::string_view> lines) {
  if (!host::system::debug_mode_p()) return;
  hand_over(kind::fun, {name, specializer}, lines);
}

}  // namespace vtm::core::doc
