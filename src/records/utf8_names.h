// Names as the record files hold them. The files are UTF-8, but a file name
// from an old file server may hold bytes that are no UTF-8 (Latin-1, say).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vtm::records {

// text with every byte sequence that is no UTF-8 replaced by U+FFFD; valid
// text is returned unchanged.
std::string utf8_text(std::string_view text);

// text with every byte that is no UTF-8 written as \xNN: distinct names stay
// distinct, for messages about names that utf8_text makes one.
std::string byte_escaped_text(std::string_view text);

// The path as the records name it: utf8_text of its bytes. The same file
// always gives the same name, so a rerun recognises it; load and copy the
// file by its real path.
std::filesystem::path utf8_path(const std::filesystem::path& path);

}  // namespace vtm::records
