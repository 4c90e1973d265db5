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

// The host's standard output, where progress and trace lines go: the stream
// *standard-output* holds now. set_standard_output redirects the host's own
// stream (the default value of *standard-output*), by default std::cout.
std::ostream& standard_output();
void set_standard_output(std::ostream& out);
ref standard_output_stream();
// The stream of *standard-input*, reading std::cin.
ref standard_input_stream();

enum class if_exists { error, supersede, append };
// Opens a UTF-8 text file, creating a missing one. :error refuses an
// existing file. Failure: a FILE-ERROR naming the file and cause.
ref open_output_file(const std::filesystem::path& file, if_exists mode);
ref open_input_file(const std::filesystem::path& file);  // NIL when missing
stream_obj& as_stream(const ref& r);
// Resolves a format/print destination: T, NIL (both *standard-output*), or
// an open output stream.
std::ostream& output_of(const ref& destination);
// Resolves an input stream designator: T, NIL (*standard-input*) or an open
// input stream.
std::istream& input_of(const ref& source);
ref make_string_output_stream();
// The text written since the last call; empties the stream.
std::string get_output_stream_string(const ref& stream);
// Flushes and closes; closing twice is harmless, the standard streams stay
// open. A write that failed is a FILE-ERROR.
void close_stream(const ref& stream);

}  // namespace host::lisp
