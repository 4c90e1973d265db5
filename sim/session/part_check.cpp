// The part check. A part's findings are data of its contents, given in its
// model file; the check reports them in the shape of the host's action result.
#include "host/part_check.h"

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/model_tree.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"
#include "session/model.h"

namespace host::k2_ui {

using namespace host::lisp;
using namespace sim::session;

ref check_part(const ref& objects) {
  std::vector<ref> targets = host::elan::sel_item_p(objects) || !listp(objects) ? std::vector<ref>{objects}
                                                                                : list_to_vector(objects);
  std::vector<ref> entries;
  for (const ref& target : targets) {
    entity_ptr c = require_contents(target);
    if (c->d.type_name != "part_struct")
      sim::host_command_failed("K2-UI", "NOT-A-PART", c->describe() + " is not a part.");
    if (c->d.check_error) sim::host_command_failed("K2-UI", "CHECK-FAILED", *c->d.check_error);
    for (const ref& entry : list_to_vector(c->d.check_result)) entries.push_back(entry);
  }
  ref result = list_from(entries);
  set_symbol_value(intern("*SD-ACTION-RESULT*", require_package("FRAME2")), result);
  return result;
}

}  // namespace host::k2_ui

namespace {

using namespace host::lisp;

const builtins_registration part_check_functions([] {
  // (k2-ui::check_part :objects paths :minimal_check :on :labels :off ...):
  // the display options change nothing in this host, which shows no box.
  sim::define_host_function("K2-UI", "CHECK_PART", 2, any_count, [](args_t a) {
    keyword_args keys("K2-UI::CHECK_PART", a, 0,
                      {"OBJECTS", "MINIMAL_CHECK", "LABELS", "VERBOSE", "NO_DISPLAY_BOX", "DO_NOT_ASK"});
    return host::k2_ui::check_part(keys.get("OBJECTS"));
  });
});

}  // namespace
