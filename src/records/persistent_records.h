// The base of the record managers: the record file a manager owns and the
// stream new records are appended to.
#pragma once

#include <filesystem>
#include <string_view>

#include "records/record_file.h"

namespace vtm::records {

class persistent_records {
 public:
  // The absolute path of the record file.
  const std::filesystem::path& path() const { return file_.path(); }
  // Whether new records can be appended (the outstream is open).
  bool outstream_open_p() const { return file_.is_open(); }
  // Closes the output stream; nothing happens when it is closed already.
  void close_persistent_records() { file_.close(); }

 protected:
  persistent_records(const std::filesystem::path& dir, std::string_view file_name) : file_(dir / file_name) {}

  record_file file_;
};

}  // namespace vtm::records
