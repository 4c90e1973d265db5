#include "core/vtm_config.h"

#include "core/module_env.h"

namespace vtm::core {

using namespace host::lisp;

void define_vtm_config() {
  define_constant("+MODEL-STAGING-DIR+", list({make_string("models")}));
  define_constant("+AMI-DRAWINGS-DIR+", list({make_string("drawings.ami")}));
  define_constant("+ANALYTICS-FILE-BASENAME+", make_string("analytics"));
  define_constant("+NAME-CONFLICT-BROWSER-VIEW+", make_string("NAME-CONFLICT-BROWSER-VIEW"));
}

}  // namespace vtm::core
