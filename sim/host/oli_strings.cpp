// String services of the host package OLI.
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "lisp/runtime.h"

namespace {

using namespace host::lisp;

const builtins_registration oli_strings([] {
  package& oli = require_package("OLI");
  // (oli:sd-string-upcase string): the host's upcase is Lisp's.
  symbol& upcase = intern("SD-STRING-UPCASE", oli);
  export_symbol(upcase, oli);
  defun(upcase, [](args_t args) {
    check_argument_count("OLI:SD-STRING-UPCASE", args, 1, 1);
    as_string(args[0]);
    return call(ref(&cl_symbol("STRING-UPCASE")), args[0]);
  });
  // (oli:sd-multi-lang-string text): the text for the host's language. The
  // simulated host runs in English only, where the text is its own
  // translation.
  symbol& multi_lang = intern("SD-MULTI-LANG-STRING", oli);
  export_symbol(multi_lang, oli);
  defun(multi_lang, [](args_t args) {
    check_argument_count("OLI:SD-MULTI-LANG-STRING", args, 1, 1);
    as_string(args[0]);
    return make_string(as_string(args[0]));
  });
});

}  // namespace
