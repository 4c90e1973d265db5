#include "records/utf8_names.h"

#include <utf8.h>

#include <iterator>

namespace vtm::records {

std::string utf8_text(std::string_view text) {
  if (utf8::is_valid(text.begin(), text.end())) return std::string(text);
  std::string out;
  utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(out));
  return out;
}

std::filesystem::path utf8_path(const std::filesystem::path& path) { return utf8_text(path.native()); }

}  // namespace vtm::records
