#include "analytics/file_outcome.h"

#include "host/lisp/errors.h"
#include "host/lisp/printer.h"

namespace vtm::analytics {

namespace hl = host::lisp;
using records::cad_file_state;

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
  if (info.load_method == records::cad_load_method::none) return cad_file_outcome::no_loader;
  const hl::ref& status = info.error_status.value;
  if (hl::is_nil(status) || hl::is(status, hl::tag::symbol)) return cad_file_outcome::staged;
  return cad_file_outcome::load_failed;
}

std::string_view cad_file_outcome_name(cad_file_outcome outcome) {
  switch (outcome) {
    case cad_file_outcome::staged:
      return "staged";
    case cad_file_outcome::load_failed:
      return "load-failed";
    case cad_file_outcome::no_loader:
      return "no-loader";
    case cad_file_outcome::crashed:
      return "crashed";
    case cad_file_outcome::unfinished:
      return "unfinished";
  }
  return "";
}

std::string cad_file_outcome_message(const records::cad_fileinfo& info) {
  if (classify_cad_file(info) != cad_file_outcome::load_failed) return {};
  const hl::ref& status = info.error_status.value;
  if (hl::stringp(status)) return hl::as_string(status);
  if (hl::is(status, hl::tag::condition)) return static_cast<hl::condition_obj&>(*status).message;
  return hl::prin1_to_string(status);
}

}  // namespace vtm::analytics
