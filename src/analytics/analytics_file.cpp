#include "analytics/analytics_file.h"

#include <cerrno>
#include <fstream>

#include "analytics/status_records.h"
#include "host/lisp/errors.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "records/record_file.h"

namespace vtm::analytics {

namespace hl = host::lisp;

std::filesystem::path analytics_file_path(const std::filesystem::path& dir) {
  return dir / (std::string(analytics_file_basename) + ".lsp");
}

void write_analytics_file(const std::filesystem::path& dir,
                          const std::function<void(std::ostream&)>& write_statuses) {
  const std::filesystem::path file = analytics_file_path(dir);
  std::filesystem::path beside = file;
  beside += ".new";
  {
    std::ofstream out(beside, std::ios::binary | std::ios::trunc);
    if (!out) hl::file_error("Cannot write the analytics file", beside.string(), errno);
    write_statuses(out);
    out.flush();
    if (!out) hl::file_error("Cannot write the analytics file", beside.string(), errno);
  }
  std::error_code ec;
  std::filesystem::rename(beside, file, ec);
  if (ec) hl::simple_error("Cannot replace the analytics file " + file.string() + ": " + ec.message());
}

void append_analytics_file(const std::filesystem::path& dir, const hl::ref& status) {
  const std::filesystem::path file = analytics_file_path(dir);
  if (!std::filesystem::exists(file)) {
    errno = ENOENT;
    hl::file_error("Cannot open the analytics file", file.string(), errno);
  }
  std::ofstream out(file, std::ios::binary | std::ios::app);
  if (!out) hl::file_error("Cannot open the analytics file", file.string(), errno);
  hl::print(status, out);
  out.flush();
  if (!out) hl::file_error("Cannot write the analytics file", file.string(), errno);
}

bool read_analytics_file(const std::filesystem::path& dir, const std::function<void(const hl::ref&)>& visit) {
  const std::filesystem::path file = analytics_file_path(dir);
  if (!std::filesystem::exists(file)) return false;
  const records::read_outcome outcome = records::read_record_file(file, visit);
  if (outcome.cut_off) std::filesystem::resize_file(file, outcome.end_of_records);
  return true;
}

}  // namespace vtm::analytics
