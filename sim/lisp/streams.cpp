// File, string and standard streams of the host's Lisp. Files are byte
// streams: the runtime's strings are UTF-8 already, so text passes unchanged.
#include "host/lisp/streams.h"

#include <cerrno>
#include <iostream>
#include <streambuf>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"

namespace host::lisp {

namespace {

// Appends everything written straight to the stream's `output`, unbuffered,
// so the collected text is always complete.
class string_sink : public std::streambuf {
 public:
  explicit string_sink(std::string& text) : text_(text) {}

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) text_.push_back(static_cast<char>(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text_.append(s, static_cast<std::size_t>(n));
    return n;
  }

 private:
  std::string& text_;
};

struct string_output_stream : stream_obj {
  string_output_stream() : sink(output), sink_stream(&sink) {
    name = "string output";
    out = &sink_stream;
  }
  string_sink sink;
  std::ostream sink_stream;
};

stream_obj* make_standard_stream(std::string name, std::istream* in, std::ostream* out) {
  auto* s = new stream_obj();
  s->immortal = true;
  s->name = std::move(name);
  s->in = in;
  s->out = out;
  return s;
}

stream_obj& host_stdout() {
  static stream_obj* s = make_standard_stream("standard output", nullptr, &std::cout);
  return *s;
}

stream_obj& host_stdin() {
  static stream_obj* s = make_standard_stream("standard input", &std::cin, nullptr);
  return *s;
}

[[noreturn]] void closed_error(const stream_obj& s) {
  signal("STREAM-ERROR", "The stream \"" + s.name + "\" is closed.");
}

int last_errno() { return errno ? errno : EIO; }

}  // namespace

stream_obj::~stream_obj() = default;

std::ostream& standard_output() {
  static symbol& var = cl_symbol("*STANDARD-OUTPUT*");
  if (var.value && is(*var.value, tag::stream)) {
    auto& s = static_cast<stream_obj&>(**var.value);
    if (s.open && s.out) return *s.out;
  }
  return *host_stdout().out;
}

void set_standard_output(std::ostream& out) { host_stdout().out = &out; }

ref standard_output_stream() { return ref(&host_stdout()); }

ref standard_input_stream() { return ref(&host_stdin()); }

ref open_output_file(const std::filesystem::path& file, if_exists mode) {
  std::error_code ec;
  if (mode == if_exists::error && std::filesystem::exists(std::filesystem::symlink_status(file, ec)))
    file_error("Cannot open the output file", file.string(), EEXIST);
  auto flags =
      std::ios::out | std::ios::binary | (mode == if_exists::append ? std::ios::app : std::ios::trunc);
  errno = 0;
  auto f = std::make_unique<std::fstream>(file, flags);
  if (!f->is_open()) file_error("Cannot open the output file", file.string(), last_errno());
  ref r(new stream_obj());
  auto& s = as_stream(r);
  s.name = file.string();
  s.file = std::move(f);
  s.out = s.file.get();
  return r;
}

ref open_input_file(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec))
    file_error("Cannot open the input file", file.string(), EISDIR);
  errno = 0;
  auto f = std::make_unique<std::fstream>(file, std::ios::in | std::ios::binary);
  if (!f->is_open()) {
    int err = last_errno();
    if (err == ENOENT) return nil();
    file_error("Cannot open the input file", file.string(), err);
  }
  ref r(new stream_obj());
  auto& s = as_stream(r);
  s.name = file.string();
  s.file = std::move(f);
  s.in = s.file.get();
  return r;
}

stream_obj& as_stream(const ref& r) {
  if (!is(r, tag::stream)) type_error(r, "STREAM");
  return static_cast<stream_obj&>(*r);
}

std::ostream& output_of(const ref& destination) {
  if (is_nil(destination) || destination == t()) return standard_output();
  stream_obj& s = as_stream(destination);
  if (!s.open) closed_error(s);
  if (!s.out) signal("STREAM-ERROR", "The stream \"" + s.name + "\" is not an output stream.");
  return *s.out;
}

std::istream& input_of(const ref& source) {
  stream_obj* s = nullptr;
  if (is_nil(source) || source == t()) {
    static symbol& var = cl_symbol("*STANDARD-INPUT*");
    s = var.value && is(*var.value, tag::stream) ? &static_cast<stream_obj&>(**var.value) : &host_stdin();
  } else {
    s = &as_stream(source);
  }
  if (!s->open) closed_error(*s);
  if (!s->in) signal("STREAM-ERROR", "The stream \"" + s->name + "\" is not an input stream.");
  return *s->in;
}

ref make_string_output_stream() { return ref(new string_output_stream()); }

std::string get_output_stream_string(const ref& stream) {
  auto* s = dynamic_cast<string_output_stream*>(&as_stream(stream));
  if (!s) type_error(stream, "STRING-OUTPUT-STREAM");
  std::string text = std::move(s->output);
  s->output.clear();
  return text;
}

void close_stream(const ref& stream) {
  stream_obj& s = as_stream(stream);
  if (&s == &host_stdout() || &s == &host_stdin() || !s.open) return;
  s.open = false;
  if (!s.file) return;
  errno = 0;
  s.file->close();
  if (s.out && s.file->fail()) file_error("Cannot write the file", s.name, last_errno());
}

}  // namespace host::lisp
