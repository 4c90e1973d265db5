// The names of the staging directory's entries, all relative to it.
#pragma once

#include <filesystem>
#include <string_view>

namespace vtm::records {

inline constexpr std::string_view model_staging_dir = "models";       // one file per staged component
inline constexpr std::string_view ami_drawings_dir = "drawings.ami";  // Annotation drawings
inline constexpr std::string_view mi_drawings_dir = "drawings.mi";    // plain (ME10) drawings

inline constexpr std::string_view toc_file = "toc.lsp";
inline constexpr std::string_view components_file = "components.lsp";
inline constexpr std::string_view ami_drawings_file = "ami-drawings.lsp";
inline constexpr std::string_view changelog_file = "changelog.lsp";

// file's directory without as many leading components as dir has, then
// file's name and type. Does not check that file lies below dir. dir names a
// directory; a trailing slash makes no difference.
std::filesystem::path make_relative_path(const std::filesystem::path& dir, const std::filesystem::path& file);

}  // namespace vtm::records
