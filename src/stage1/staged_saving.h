// Saves staged models and drawings from the session into the staging
// directory, inside that directory as the host's working directory.
#pragma once

#include <filesystem>
#include <string>

#include "host/lisp/object.h"

namespace vtm::stage1 {

struct save_result {
  host::lisp::ref status;  // :OK, :ERROR, or NIL when the directory cannot be entered
  host::lisp::ref error;   // the host's error object with :ERROR
};

// Saves the top-level model at selitem one file per component into
// directory, each under the file name its cluster was given, replacing
// existing files. Prints "3d: ~A -> ~A~%" first.
save_result save_instance(const host::lisp::ref& selitem, const std::filesystem::path& directory);

// Stores the session's drawing as file, replacing an existing one.
save_result save_drawing(const std::filesystem::path& file);

// The directory's namestring with its trailing slash.
std::string directory_namestring(const std::filesystem::path& directory);

// The host's working directory is the given one for the extent of a scope
// (when it can be entered).
class working_directory {
 public:
  explicit working_directory(const std::string& dir);
  ~working_directory();
  working_directory(const working_directory&) = delete;
  working_directory& operator=(const working_directory&) = delete;
  bool entered() const { return entered_; }

 private:
  std::string previous_;
  bool entered_;
};

}  // namespace vtm::stage1
