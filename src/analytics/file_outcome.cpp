#include "analytics/file_outcome.h"

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"

namespace vtm::analytics {

namespace hl = host::lisp;
using records::cad_file_state;

namespace {

hl::ref save_failed_tag() { return hl::ref(&hl::keyword("SAVE-FAILED")); }

}  // namespace

cad_file_outcome classify_cad_file(const records::cad_fileinfo& info) {
  switch (info.state) {
    case cad_file_state::loading:
      return cad_file_outcome::crashed;
    case cad_file_state::new_:
    case cad_file_state::processing:
      return cad_file_outcome::unfinished;
    case cad_file_state::complete:
      break;
  }
  const hl::ref& status = info.error_status.value;
  if (hl::consp(status) && hl::eql(hl::car(status), save_failed_tag())) return cad_file_outcome::save_failed;
  if (hl::is_nil(status))
    return info.load_method == records::cad_load_method::none ? cad_file_outcome::no_loader
                                                              : cad_file_outcome::staged;
  if (hl::is(status, hl::tag::symbol)) return cad_file_outcome::staged;
  return cad_file_outcome::load_failed;
}

bool cad_file_redone(cad_file_outcome outcome) {
  return outcome == cad_file_outcome::unfinished || outcome == cad_file_outcome::save_failed;
}

bool cad_file_left_undone(cad_file_outcome outcome) {
  return outcome == cad_file_outcome::load_failed || outcome == cad_file_outcome::save_failed ||
         outcome == cad_file_outcome::crashed;
}

records::load_status make_save_failure_status(const std::string& message) {
  return {hl::list({save_failed_tag(), hl::make_string(message)})};
}

std::string_view cad_file_outcome_name(cad_file_outcome outcome) {
  switch (outcome) {
    case cad_file_outcome::staged:
      return "staged";
    case cad_file_outcome::load_failed:
      return "load-failed";
    case cad_file_outcome::no_loader:
      return "no-loader";
    case cad_file_outcome::save_failed:
      return "save-failed";
    case cad_file_outcome::crashed:
      return "crashed";
    case cad_file_outcome::unfinished:
      return "unfinished";
  }
  return "";
}

std::string cad_file_outcome_message(const records::cad_fileinfo& info) {
  const cad_file_outcome outcome = classify_cad_file(info);
  if (outcome != cad_file_outcome::load_failed && outcome != cad_file_outcome::save_failed) return {};
  hl::ref status = info.error_status.value;
  if (outcome == cad_file_outcome::save_failed) status = hl::car(hl::cdr(status));
  if (hl::stringp(status)) return hl::as_string(status);
  if (hl::is(status, hl::tag::condition)) return static_cast<hl::condition_obj&>(*status).message;
  return hl::prin1_to_string(status);
}

}  // namespace vtm::analytics
