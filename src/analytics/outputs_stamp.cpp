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

bool staging_outputs_current(const fs::path& staging, const fs::path& input) {
  std::ifstream in(staging / outputs_stamp_file, std::ios::binary);
  if (!in) return false;
  const std::string recorded((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return recorded == stamp_of(staging, input);
}

void stamp_staging_outputs(const fs::path& staging, const fs::path& input) {
  const fs::path file = staging / outputs_stamp_file;
  fs::path beside = file;
  beside += ".new";
  std::error_code ec;
  {
    std::ofstream out(beside, std::ios::binary | std::ios::trunc);
    out << stamp_of(staging, input);
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
