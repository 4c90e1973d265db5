#include "stage1/file_loading.h"

#include "drawings/warning_interceptor.h"
#include "host/drawings.h"
#include "host/files.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/streams.h"
#include "stage1/collect_files.h"
#include "stage1/guarded_action_call.h"

namespace vtm::stage1 {

namespace hl = host::lisp;
using records::cad_load_method;

std::vector<cad_load_method> loaders_for(const std::filesystem::path& file) {
  const std::optional<std::string> type = lower_case_type(file);
  if (!type) return {cad_load_method::mi, cad_load_method::sd, cad_load_method::me30};
  if (*type == "mi" || *type == "ami") return {cad_load_method::mi};
  for (const char* sd : {"pkg", "bdl", "sd", "sdp", "sda", "sdexp"})
    if (*type == sd) return {cad_load_method::sd};
  if (*type == "xmit") return {cad_load_method::me30};
  return {};
}

namespace {

void run_loader(cad_load_method method, const std::string& file) {
  switch (method) {
    case cad_load_method::mi:
      host::docu::am_load_any_mi(file, false);
      break;
    case cad_load_method::sd:
      host::frame2_ui::universal_load(file);
      break;
    case cad_load_method::me30:
      host::links_ui::load_me30(file);
      break;
    case cad_load_method::none:
      break;
  }
}

}  // namespace

load_result load_any_file(const std::filesystem::path& file) {
  load_result r{hl::nil(), cad_load_method::none};
  for (cad_load_method method : loaders_for(file)) {
    r.method = method;
    const action_outcome outcome = guarded_action_call([&] { run_loader(method, file.string()); });
    r.status = outcome.ok ? hl::ref(&hl::keyword("OK")) : outcome.error;
    if (outcome.ok) break;
  }
  hl::standard_output() << hl::format("File ~A loaded with method ~A~%", hl::make_string(file.string()),
                                      core::lisp_value<cad_load_method>::to(r.method))
                        << std::flush;
  return r;
}

void load_cadfile(records::cad_fileinfo& record) { load_cadfile(record, record.path.path()); }

void load_cadfile(records::cad_fileinfo& record, const std::filesystem::path& file) {
  drawings::warning_interception interception;
  const load_result r = load_any_file(file);
  record.error_status = {r.status};
  record.load_method = r.method;
}

}  // namespace vtm::stage1
