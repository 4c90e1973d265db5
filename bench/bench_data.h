// Where a benchmark keeps its generated inputs between runs.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace vtm_bench {

// $TMPDIR/name (/tmp/name without TMPDIR).
inline std::filesystem::path data_dir_named(std::string_view name) {
  const char* tmp = std::getenv("TMPDIR");
  return std::filesystem::path(tmp && *tmp ? tmp : "/tmp") / name;
}

}  // namespace vtm_bench
