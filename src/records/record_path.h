// A pathname slot of a record or status, held as its namestring. A record
// table of 100,000 entries holds several paths each; std::filesystem::path
// would add a heap list of its components to every one, so a path is built
// only where a file operation or path arithmetic needs one.
//
// Its Lisp form is a pathname (#P"..."), NIL for the empty path, as for
// std::filesystem::path. Paths compare by their namestrings, which the
// host's pathname functions and the staging run produce in one normal form.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "core/vt_utils.h"

namespace vtm::records {

class record_path {
 public:
  record_path() = default;
  record_path(std::string namestring) : s_(std::move(namestring)) {}  // NOLINT: a namestring is a path
  record_path(const char* namestring) : s_(namestring) {}             // NOLINT
  record_path(const std::filesystem::path& p) : s_(p.native()) {}     // NOLINT

  const std::string& string() const { return s_; }
  bool empty() const { return s_.empty(); }
  void clear() { s_.clear(); }
  std::filesystem::path path() const { return s_; }
  std::filesystem::path filename() const { return path().filename(); }
  std::filesystem::path stem() const { return path().stem(); }
  std::filesystem::path extension() const { return path().extension(); }

  friend bool operator==(const record_path&, const record_path&) = default;
  friend std::filesystem::path operator/(const std::filesystem::path& dir, const record_path& p) {
    return dir / p.s_;
  }

 private:
  std::string s_;
};

}  // namespace vtm::records

namespace vtm::core {

// The empty path is NIL; others are pathnames. Strings are read as well.
template <>
struct lisp_value<records::record_path> {
  static ref to(const records::record_path& v);
  static records::record_path from(const ref& v);
};

}  // namespace vtm::core
