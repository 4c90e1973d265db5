// Model Manager's interactive comparison of two models: the reference model
// in session (the local model) and a model from the database or another
// model in session. The variables are the Lisp specials
// modelmanager::*local-model*, *local-model-path*, *db-model*,
// *db-model-path* and common-lisp-user::*db-aip-ui-last-load-result*;
// the comparison leaves them set.
#pragma once

#include <string>
#include <vector>

#include "host/lisp/object.h"

namespace host::modelmanager {

host::lisp::symbol& local_model_variable();
host::lisp::symbol& local_model_path_variable();
host::lisp::symbol& db_model_variable();
host::lisp::symbol& db_model_path_variable();

// Empties the comparison buffer and forgets both compared models.
void reset_model_buffer();
// The load type a database model is loaded with to be compared with model:
// "PART" for a part, "ASSEMBLY" for an assembly, "ALL" otherwise.
host::lisp::ref get_loadtype_for_compare(const host::lisp::ref& model);
// Compares *local-model* with *db-model*; when *db-model* is NIL it takes
// the first model of *db-aip-ui-last-load-result* (and its path name). The
// result goes into the comparison buffer and to the host's output. It is
// shown in Model Manager's own window, so the dialog running then ends
// (after its current input).
void cr_compare_models_callback();
// The comparison buffer: the lines of the last comparison.
std::vector<std::string> comparison_buffer();

}  // namespace host::modelmanager

namespace host::cl_user {
host::lisp::symbol& db_aip_ui_last_load_result_variable();
}  // namespace host::cl_user
