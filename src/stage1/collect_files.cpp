#include "stage1/collect_files.h"

#include <algorithm>
#include <deque>
#include <set>
#include <system_error>

#include "host/lisp/pathnames.h"
#include "host/lisp/streams.h"

namespace vtm::stage1 {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

bool collected_p(const fs::path& file) {
  host::lisp::pathname_parts parts;
  host::lisp::split_file_name(file.filename().string(), parts);
  const std::string name = lower(parts.name.value_or(""));
  if (name == "hp_catfile" || name == "hp_catlock") return false;
  return !parts.type || lower(*parts.type).find('c') == std::string::npos;
}

// The entries of dir in name order, as the host lists a directory.
std::vector<fs::directory_entry> listing(const fs::path& dir) {
  std::vector<fs::directory_entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
  if (ec) {
    host::lisp::standard_output() << "Cannot list the directory " << dir.string() << ": " << ec.message()
                                  << "\n";
    return {};
  }
  // The paths differ only in their last part, so their text orders them as
  // the parts do, without taking each path apart.
  std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
    return a.path().native() < b.path().native();
  });
  return entries;
}

}  // namespace

std::optional<std::string> lower_case_type(const fs::path& file) {
  host::lisp::pathname_parts parts;
  host::lisp::split_file_name(file.filename().string(), parts);
  if (!parts.type) return std::nullopt;
  return lower(*parts.type);
}

std::vector<file_group> collect_files(const fs::path& dir) {
  std::deque<fs::path> work{dir};
  std::set<fs::path> searched;
  std::vector<file_group> result;
  while (!work.empty()) {
    const fs::path current = work.front();
    work.pop_front();
    std::error_code ec;
    fs::path key = fs::canonical(current, ec);
    if (!searched.insert(ec ? current : key).second) continue;
    file_group files;
    // The entry knows its type from the listing, unless it is a link.
    for (const fs::directory_entry& entry : listing(current)) {
      if (entry.is_directory(ec))
        work.push_front(entry.path());
      else if (collected_p(entry.path()))
        files.push_back(entry.path());
    }
    std::reverse(files.begin(), files.end());
    if (!files.empty()) result.push_back(std::move(files));
  }
  std::reverse(result.begin(), result.end());
  return result;
}

}  // namespace vtm::stage1
