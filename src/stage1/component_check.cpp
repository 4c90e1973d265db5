#include "stage1/component_check.h"

#include <vector>

#include "host/command_errors.h"
#include "host/lisp/packages.h"
#include "host/part_check.h"
#include "stage1/guarded_action_call.h"

namespace vtm::stage1 {

namespace hl = host::lisp;

hl::ref check_result_errors(const hl::ref& result) {
  std::vector<hl::ref> entries;
  for (hl::ref entry = result; hl::consp(entry); entry = hl::cdr(entry)) {
    const hl::ref label = hl::car(hl::car(entry));
    if (!hl::stringp(label) || hl::as_string(label) != "Error:") continue;
    std::vector<hl::ref> findings;
    for (hl::ref item = hl::cdr(hl::car(entry)); hl::consp(item); item = hl::cdr(item)) {
      const hl::ref after_first = hl::cdr(hl::car(item));
      const auto rest = std::int64_t(hl::list_length(hl::cdr(after_first)));
      findings.push_back(hl::list({hl::make_integer(rest), hl::car(after_first)}));
    }
    entries.push_back(hl::list({label, hl::list_from(findings)}));
  }
  return hl::list_from(entries);
}

hl::ref check_component(const hl::ref& selitem, bool check) {
  if (!check) return hl::nil();
  const action_outcome outcome = guarded_action_call([&] { host::k2_ui::check_part(selitem); });
  if (!outcome.ok) {
    host::frame2::display_error(
        host::frame2::read_error_object(outcome.error, hl::ref(&hl::keyword("ERROR-MESG"))));
    return hl::nil();
  }
  return check_result_errors(outcome.result);
}

}  // namespace vtm::stage1
