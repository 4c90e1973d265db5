// What Model Manager knows of the clusters in session: a cluster loaded from
// the database carries the element id of its document among its database
// flags (:elid).
#include "host/clusters.h"
#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/modelmanager.h"
#include "lisp/runtime.h"
#include "session/lisp_def.h"

namespace host::modelmanager {

lisp::ref get_docelid_from_cluster(const lisp::ref& cluster) {
  return lisp::getf(host::frame2::sd_inq_db_flags(cluster), lisp::ref(&lisp::keyword("ELID")));
}

}  // namespace host::modelmanager

namespace {

const host::lisp::builtins_registration in_session_functions([] {
  sim::define_host_function("MODELMANAGER", "GET-DOCELID-FROM-CLUSTER", 1, 1, [](host::lisp::args_t a) {
    return host::modelmanager::get_docelid_from_cluster(a[0]);
  });
});

}  // namespace
