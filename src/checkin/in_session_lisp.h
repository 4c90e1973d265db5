// The Lisp face of the in-session records: the check-in context and the
// model name records as host handles, with the operations the check-in
// dialog and customization call by name.
#pragma once

namespace vtm::checkin {

// Lisp: MAKE-CHECK-IN-CONTEXT, CHECK-IN-CONTEXT-P, CHECK-IN-CONTEXT-CURRENT-MODEL,
// SET-CHECK-IN-CONTEXT-CURRENT-MODEL, CLEANUP-CONFLICT-QUEUE,
// CHECK-IN-CONTEXT-REMAINING-MODELS, CHECK-IN-CONTEXT-REMAINING-NAME-CONFLICTS,
// CHECK-IN-CONTEXT-CONFLICT-NAMES, CHECK-IN-CONTEXT-CONFLICT, MODEL-NAME-INFO-P,
// MODEL-NAME-INFO-PLIST, MODEL-NAME-INFO-SELITEM, QUERY-MODEL-NAME-INFO,
// UPDATE-MODEL-NAME-INFO, NAME-DOUBLE-COUNT, NAME-HAS-DOUBLES-P,
// READY-NAME-CONFLICT-RESOLUTION, COMPARE-NAME-DOUBLES, RESOLVE-NAME-CONFLICT.
void define_vt_in_session_records();

}  // namespace vtm::checkin
