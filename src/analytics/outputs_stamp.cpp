#include "analytics/outputs_stamp.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>

#include "analytics/analytics_file.h"
#include "analytics/staging_status.h"
#include "records/staging_layout.h"

namespace vtm::analytics {

namespace fs = std::filesystem;

namespace {

std::string stamp_of(const fs::path& staging, const fs::path& input) {
  std::string stamp = "vt_migrator " VTM_VERSION "\ninput " + input.string() + "\n";
  const fs::path files[] = {staging / records::toc_file,       staging / records::components_file,
                            staging / records::changelog_file, staging / records::ami_drawings_file,
                            analytics_file_path(staging),      staging / report_file,
                            staging / status_json_file,        staging / overview_file};
  for (const fs::path& file : files) {
    struct stat st {};
    stamp += file.filename().string();
    if (::stat(file.c_str(), &st) != 0)
      stamp += " missing\n";
    else
      stamp += " " + std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
               std::to_string(st.st_mtim.tv_nsec) + "\n";
  }
  return stamp;
}

}  // namespace

constexpr std::string_view summary_prefix = "summary ";

std::optional<status_document> current_outputs_summary(const fs::path& staging, const fs::path& input) {
  std::ifstream in(staging / outputs_stamp_file, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string recorded((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string files = stamp_of(staging, input);
  if (!recorded.starts_with(files)) return std::nullopt;
  const std::string_view summary = std::string_view(recorded).substr(files.size());
  // A stamp without its summary (written by an older version) is not current.
  if (!summary.starts_with(summary_prefix)) return std::nullopt;
  status_document doc = status_document::parse(summary.substr(summary_prefix.size()), nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return std::nullopt;
  return doc;
}

void stamp_staging_outputs(const fs::path& staging, const fs::path& input, const status_document& summary) {
  const fs::path file = staging / outputs_stamp_file;
  fs::path beside = file;
  beside += ".new";
  std::error_code ec;
  {
    std::ofstream out(beside, std::ios::binary | std::ios::trunc);
    out << stamp_of(staging, input) << summary_prefix
        << summary.dump(-1, ' ', false, status_document::error_handler_t::replace) << '\n';
    out.flush();
    if (out) {
      out.close();
      fs::rename(beside, file, ec);
      if (!ec) return;
    }
  }
  fs::remove(beside, ec);
  fs::remove(file, ec);
}

}  // namespace vtm::analytics
