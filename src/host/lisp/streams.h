// Lisp streams over files and the host's standard output.
#pragma once

#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <memory>
#include <string>

#include "host/lisp/object.h"

namespace host::lisp {

struct stream_obj : LAOBJ {
  stream_obj() : LAOBJ(tag::stream) {}
  ~stream_obj() override;
  std::string name;
  std::unique_ptr<std::fstream> file;  // owned for file streams
  std::istream* in = nullptr;
  std::ostream* out = nullptr;
  bool open = true;
  std::string output;  // collected text of string output streams
};

// The host's standard output, where progress and trace lines go. Tests may
// redirect it; the default is std::cout.
std::ostream& standard_output();
void set_standard_output(std::ostream& out);
ref standard_output_stream();

enum class if_exists { error, supersede, append };
// Opens a UTF-8 text file. Failure: a FILE-ERROR naming the file and cause.
ref open_output_file(const std::filesystem::path& file, if_exists mode);
ref open_input_file(const std::filesystem::path& file);  // NIL when missing
stream_obj& as_stream(const ref& r);
// Resolves a format/print destination: T, NIL, or a stream.
std::ostream& output_of(const ref& destination);

}  // namespace host::lisp
