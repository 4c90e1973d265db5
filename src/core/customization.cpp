#include "core/customization.h"

#include "core/module_env.h"
#include "core/vtm_core_config.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/ui.h"

namespace vtm::core {

using namespace host::lisp;

ref load_module_customization(bool with_persisted_settings) {
  // Never a customization file of the working directory in place of the home's.
  if (!truthy(main_value("+HOME+"))) {
    ref name = make_string("vtm_" + main_string("+CUSTOMIZE-FILE+"));
    simple_error(format(resource_text("FACTORY-CUSTOMIZATION-NOT-FOUND"), name) + " " +
                 home_search_sentence());
  }
  pathname_parts p;
  p.directory = list_to_vector(main_value("+HOME+"));
  // The whole file name is the name: no separate type.
  p.name = "vtm_" + main_string("+CUSTOMIZE-FILE+");
  ref factory = make_pathname(std::move(p));
  if (is_nil(probe_file(factory))) error(resource_text("FACTORY-CUSTOMIZATION-NOT-FOUND"), {&factory, 1});
  load(to_path(factory));
  // A broken shared customization file must not take the module away from
  // every workstation sharing it: the host loads the others, and the error
  // naming the broken one is shown while the module carries on.
  try {
    host::oli::sd_load_customization_file(main_string("+CUSTOMIZE-FILE+"), module_id(), kw("ALL"),
                                          kw("SD-CORP-SITE-USER"));
  } catch (const lisp_error& e) {
    host::oli::sd_display_error(e.message());
  }
  symbol& persisted = main_symbol("LOAD-PERSISTED-MODULE-SETTINGS");
  if (with_persisted_settings && !is_nil(persisted.function)) return call(persisted);
  return nil();
}

void define_customization_function() {
  define_function("LOAD-MODULE-CUSTOMIZATION", 0, 1,
                  [](args_t a) { return load_module_customization(!a.empty() && truthy(a[0])); });
}

}  // namespace vtm::core
