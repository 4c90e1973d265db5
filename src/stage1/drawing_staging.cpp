#include "stage1/drawing_staging.h"

#include <algorithm>

#include "host/clusters.h"
#include "host/drawings.h"
#include "host/files.h"
#include "host/lisp/pathnames.h"
#include "host/model_tree.h"
#include "records/staging_layout.h"
#include "stage1/staged_saving.h"

namespace vtm::stage1 {

namespace fs = std::filesystem;
namespace hl = host::lisp;

std::vector<std::string> drawing_owner_sysids() {
  std::vector<std::string> sysids;
  for (const hl::ref& entry : hl::list_to_vector(host::oli::sd_am_inq_all_3d_owners())) {
    hl::ref owner = hl::car(hl::cdr(entry));
    if (!hl::stringp(owner))
      owner = host::frame2::inq_entity_sysid(host::elan::sel_item_p(owner) ? host::elan::sel_item_item(owner)
                                                                           : owner);
    if (!hl::stringp(owner)) continue;
    const std::string& sysid = hl::as_string(owner);
    if (std::find(sysids.begin(), sysids.end(), sysid) == sysids.end()) sysids.push_back(sysid);
  }
  return sysids;
}

std::string file_name_part(std::string_view text) {
  std::string out;
  for (char c : text) {
    const bool separator = c == '/' || c == '\\' || c == '\0';
    if (c == '.' && !out.empty() && out.back() == '.')
      out.back() = '_', out += '_';
    else
      out += separator ? '_' : c;
  }
  return out;
}

fs::path stage_drawing(const std::string& dno, const records::cad_fileinfo& record, const fs::path& input,
                       const fs::path& staging, records::ami_drawing_records& drawings,
                       const std::unordered_set<std::string>& claimed, const fs::path& source_file) {
  const std::vector<std::string> owners = drawing_owner_sysids();
  hl::pathname_parts source;
  hl::split_file_name(record.path.filename().string(), source);
  const std::string source_name = file_name_part(source.name.value_or(""));
  const fs::path dir = staging / (owners.empty() ? records::mi_drawings_dir : records::ami_drawings_dir);
  const std::string type = owners.empty() ? "mi" : "ami";
  const std::string name = owners.empty() ? source_name : file_name_part(dno) + "@" + source_name;

  fs::create_directories(dir);
  fs::path target = dir / (name + "." + type);
  if (fs::exists(target) && claimed.contains(records::make_relative_path(staging, target).string()))
    target = dir / (name + "-" + hl::as_string(host::frame2::inquire_unique_filename("")) + "." + type);

  if (!owners.empty()) {
    records::ami_drawing_info info;
    info.name = dno;
    info.filename = target.filename();
    info.sourcepath = records::make_relative_path(input, record.path.path());
    info.instance_sysids = owners;
    drawings.update_ami_drawing_records(info);
  }
  if (record.load_method == records::cad_load_method::mi)
    host::frame2::copy_file(source_file.string(), target.string());
  else
    save_drawing(target);
  return target;
}

}  // namespace vtm::stage1
