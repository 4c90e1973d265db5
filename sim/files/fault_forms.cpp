// The fault forms shared by the host's model and drawing files.
#include "files/fault_forms.h"

#include <signal.h>
#include <unistd.h>

#include "host/command_errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "session/host_error.h"

namespace sim::files {

using namespace host::lisp;

namespace {

std::string keyword_name(const ref& r) { return keywordp(r) ? static_cast<symbol&>(*r).name : std::string(); }

}  // namespace

bool run_fault_form(const ref& form, std::string_view code_module,
                    const std::function<void(const std::string&)>& fail) {
  std::string kind = keyword_name(car(form));
  ref rest = cdr(form);
  if (kind == "FAIL") {
    ref message = car(rest);
    if (!stringp(message)) fail("(:fail \"message\") wants a message string");
    host_command_failed(code_module, "LOAD-FAILED", as_string(message));
  }
  if (kind == "WARN") {
    ref message = car(rest);
    if (!stringp(message)) fail("(:warn \"message\" ...) wants a message string");
    ref options = cdr(rest);
    ref answer;
    if (!is_nil(options)) {
      if (keyword_name(car(options)) != "DEFAULT" || !is_nil(cdr(cdr(options))))
        fail("the warning takes only :default answer, got " + prin1_to_string(options));
      answer = car(cdr(options));
    }
    host::oli::sd_display_warning(as_string(message), answer);
    return true;
  }
  if (kind == "SIGNAL") {
    // The user's Ctrl-C (or a kill) arriving in the middle of the load.
    const std::string name = keyword_name(car(rest));
    const int sig = name == "SIGINT" ? SIGINT : name == "SIGTERM" ? SIGTERM : name == "SIGHUP" ? SIGHUP : 0;
    if (sig == 0) fail("(:signal name) wants :sigint, :sigterm or :sighup");
    ::raise(sig);
    return true;
  }
  if (kind == "CRASH") {
    // A host crash: nothing more is flushed or cleaned up.
    ::kill(::getpid(), SIGKILL);
  }
  return false;
}

}  // namespace sim::files
