#include "records/utf8_names.h"

#include <utf8.h>

#include <cstdio>
#include <iterator>

namespace vtm::records {

std::string utf8_text(std::string_view text) {
  if (utf8::is_valid(text.begin(), text.end())) return std::string(text);
  std::string out;
  utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(out));
  return out;
}

std::string byte_escaped_text(std::string_view text) {
  std::string out;
  for (auto it = text.begin();;) {
    const auto bad = utf8::find_invalid(it, text.end());
    out.append(it, bad);
    if (bad == text.end()) return out;
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(*bad));
    out += hex;
    it = bad + 1;
  }
}

std::filesystem::path utf8_path(const std::filesystem::path& path) { return utf8_text(path.native()); }

}  // namespace vtm::records
