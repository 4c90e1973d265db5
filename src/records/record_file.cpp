#include "records/record_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>

#include "host/lisp/errors.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/lisp/reader.h"
#include "host/lisp/streams.h"
#include "records/record_text.h"

namespace vtm::records {

namespace hl = host::lisp;

namespace {

// The file's text as a stream that knows its byte offset.
struct text_buffer : std::streambuf {
  explicit text_buffer(std::string_view text) {
    char* p = const_cast<char*>(text.data());
    setg(p, p, p + text.size());
  }
  std::uint64_t offset() const { return static_cast<std::uint64_t>(gptr() - eback()); }
};

std::uint64_t record_start(std::string_view text, std::uint64_t from) {
  while (from < text.size() && (text[from] == ' ' || text[from] == '\n' || text[from] == '\t' ||
                                text[from] == '\r' || text[from] == '\f'))
    ++from;
  return from;
}

// Whether a form starts at p and reads completely.
bool reads_from(std::string_view text, std::size_t p, const std::string& source) {
  text_buffer buffer(text.substr(p));
  std::istream in(&buffer);
  hl::reader r(in, source);
  hl::ref form;
  try {
    return r.read(form);
  } catch (const hl::lisp_error&) {
    return false;
  }
}

// Whether the text from p to its end is nothing but whole records, each at
// the beginning of a line: a structure, or a list that begins with a keyword.
bool records_to_end(std::string_view text, std::size_t p, const std::string& source) {
  for (p = record_start(text, p); p < text.size(); p = record_start(text, p)) {
    if (p == 0 || text[p - 1] != '\n') return false;
    text_buffer buffer(text.substr(p));
    std::istream in(&buffer);
    hl::reader r(in, source);
    hl::ref form;
    try {
      if (!r.read(form)) return false;
    } catch (const hl::lisp_error&) {
      return false;
    }
    if (!hl::is(form, hl::tag::structure) && !(hl::consp(form) && hl::keywordp(hl::car(form)))) return false;
    p += buffer.offset();
  }
  return true;
}

// Whether a complete record starts on a later line of text than `start`: then
// the damage at start is not a cut-off end. Records start at the beginning
// of a line; the pretty printer indents the lines inside a record. A line
// inside a string (a file name may hold a line break followed by "(") starts
// no record, unless everything from there on reads as whole records (a quote
// lost in the middle of the file makes the scan take records for strings).
bool intact_record_after(std::string_view text, std::uint64_t start, const std::string& source) {
  bool in_string = false, in_bars = false, escaped = false;
  for (std::size_t p = start; p < text.size(); ++p) {
    const char c = text[p];
    if (escaped) {
      escaped = false;
      continue;
    }
    if (c == '\\') {
      escaped = true;
    } else if (in_string) {
      in_string = c != '"';
    } else if (in_bars) {
      in_bars = c != '|';
    } else if (c == '"') {
      in_string = true;
    } else if (c == '|') {
      in_bars = true;
    } else if (c == ';') {
      while (p + 1 < text.size() && text[p + 1] != '\n') ++p;
    }
    if (c != '\n' || p + 1 >= text.size() || (text[p + 1] != '(' && text[p + 1] != '#')) continue;
    if (in_string || in_bars ? records_to_end(text, p + 1, source) : reads_from(text, p + 1, source))
      return true;
  }
  return false;
}

// The first part of value that the reader could not read back, or nullptr.
const LAOBJ* unreadable_part(const hl::ref& value) {
  switch (value->type) {
    case hl::tag::symbol:
    case hl::tag::string:
    case hl::tag::character:
    case hl::tag::integer:
    case hl::tag::dfloat:
    case hl::tag::pathname:
      return nullptr;
    case hl::tag::cons: {
      hl::ref rest = value;
      for (; hl::consp(rest); rest = hl::cdr(rest))
        if (const LAOBJ* bad = unreadable_part(hl::car(rest))) return bad;
      return unreadable_part(rest);
    }
    case hl::tag::structure:
      for (const hl::ref& s : static_cast<const hl::structure_obj&>(*value).slots)
        if (const LAOBJ* bad = unreadable_part(s)) return bad;
      return nullptr;
    default:
      return value.get();
  }
}

void check_readable(const hl::ref& record, const std::filesystem::path& file) {
  if (const LAOBJ* bad = unreadable_part(record))
    hl::simple_error(fmt::format("A record for {} holds {}, which cannot be read back.", file.string(),
                                 hl::prin1_to_string(hl::ref(const_cast<LAOBJ*>(bad)))));
}

std::string printed_record(const hl::ref& record) { return '\n' + hl::pprint_to_string(record); }

// A file's bytes mapped into memory: opening reads a file of records once,
// and a mapping saves filling and copying a buffer of its size. The pages
// read already are given back as reading goes on, so that the file's text
// does not add its whole size to the memory a large file's records take.
class mapped_text {
 public:
  explicit mapped_text(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      error = errno;
      return;
    }
    size_ = static_cast<std::size_t>(st.st_size);
    if (size_ == 0) return;
    void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) {
      error = errno;
      size_ = 0;
      return;
    }
    data_ = static_cast<char*>(p);
    text = std::string_view(data_, size_);
    done_before(0);
  }
  ~mapped_text() {
    if (data_) ::munmap(data_, size_);
  }
  mapped_text(const mapped_text&) = delete;
  mapped_text& operator=(const mapped_text&) = delete;

  // Reading will not come back before offset: the pages before it are
  // dropped from this process (touching them again reads them in again),
  // and the next pages are mapped in one go rather than fault by fault.
  void done_before(std::size_t offset) {
    if (offset < next_) return;
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t behind = offset / page * page;
    if (behind > released_) ::madvise(data_ + released_, behind - released_, MADV_DONTNEED);
    released_ = behind;
    const std::size_t from = std::max(behind, populated_);
    populated_ = std::min(size_, behind + 2 * step);
    if (populated_ > from) ::madvise(data_ + from, populated_ - from, MADV_POPULATE_READ);
    next_ = behind + step;
  }

  std::string_view text;
  int error = 0;

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  static constexpr std::size_t step = std::size_t{4} << 20;
  std::size_t released_ = 0;   // the pages before it are dropped
  std::size_t populated_ = 0;  // the pages up to it are mapped
  std::size_t next_ = 0;       // the offset at which to move on
};

std::filesystem::path beside(const std::filesystem::path& file) {
  std::filesystem::path p = file;
  return p += ".new";
}

}  // namespace

read_outcome read_record_file(const std::filesystem::path& file, const record_visitor& visit,
                              const record_decoder& decode, const record_placed& placed) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    hl::file_error("Cannot open the record file", file.string(), errno);
  }
  mapped_text mapped(fd);
  ::close(fd);
  if (mapped.error) hl::file_error("Cannot read the record file", file.string(), mapped.error);
  const std::string_view text = mapped.text;

  const std::string source = file.string();
  read_outcome outcome;
  for (;;) {
    const std::uint64_t start = record_start(text, outcome.end_of_records);
    if (start == text.size()) return outcome;
    mapped.done_before(start);
    if (decode) {
      record_text cursor(text, start);
      bool taken = false;
      try {
        taken = decode(cursor);
      } catch (const hl::lisp_error&) {
        // The host's reader and the visitor say what is wrong.
      }
      if (taken) {
        outcome.end_of_records = cursor.pos();
        if (placed) placed({start, outcome.end_of_records});
        continue;
      }
    }
    text_buffer buffer(std::string_view(text).substr(start));
    std::istream in(&buffer);
    hl::reader r(in, "the record");
    hl::ref form;
    bool got = false;
    try {
      got = r.read(form);
    } catch (const hl::lisp_error& e) {
      // Only a record the end of the file cuts off can come from a crash.
      if (!in.eof() || intact_record_after(text, start, source))
        hl::signal(e.kind(),
                   fmt::format("The record file {} is damaged at byte {}: {}", source, start, e.message()));
      hl::standard_output() << fmt::format(
          "Warning: the last record of {} is cut off at byte {}; its {} bytes are dropped.\n", source, start,
          text.size() - start);
      outcome.cut_off = true;
      return outcome;
    }
    if (!got || hl::is_nil(form)) return outcome;
    try {
      visit(form);
    } catch (const hl::lisp_error& e) {
      hl::signal(e.kind(),
                 fmt::format("The record at byte {} of {} is invalid: {}", start, source, e.message()));
    }
    outcome.end_of_records = start + buffer.offset();
    if (placed) placed({start, outcome.end_of_records});
  }
}

record_reader::record_reader(std::filesystem::path path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) hl::file_error("Cannot open the record file", path_.string(), errno);
}

record_reader::~record_reader() {
  if (fd_ >= 0) ::close(fd_);
}

std::string_view record_reader::text_at(record_place place, std::uint64_t read_to) {
  // Records are never changed once written, so what was read ahead stays true.
  if (place.start >= text_start_ && place.end <= text_start_ + text_.size())
    return std::string_view(text_).substr(place.start - text_start_, place.end - place.start);
  const std::size_t wanted = place.end - place.start;
  text_.resize(std::max(place.end, read_to) - place.start);
  text_start_ = place.start;
  std::size_t got = 0;
  while (got < wanted) {
    const ssize_t n =
        ::pread(fd_, text_.data() + got, text_.size() - got, static_cast<off_t>(place.start + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = errno;
      text_.clear();
      if (n < 0) hl::file_error("Cannot read the record file", path_.string(), err);
      hl::simple_error(fmt::format("The record at byte {} of {} is no longer there: the file was cut short.",
                                   place.start, path_.string()));
    }
    got += static_cast<std::size_t>(n);
  }
  text_.resize(got);
  return std::string_view(text_).substr(0, wanted);
}

hl::ref record_reader::form_at(record_place place) {
  text_buffer buffer(text_at(place));
  std::istream in(&buffer);
  hl::reader r(in, "the record");
  hl::ref form;
  try {
    if (r.read(form) && !hl::is_nil(form)) return form;
  } catch (const hl::lisp_error& e) {
    hl::signal(e.kind(), fmt::format("The record file {} is damaged at byte {}: {}", path_.string(),
                                     place.start, e.message()));
  }
  hl::simple_error(
      fmt::format("The record file {} no longer holds a record at byte {}.", path_.string(), place.start));
}

record_file& record_file::operator=(record_file&& other) noexcept {
  if (this != &other) {
    close();
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
  }
  return *this;
}

void record_file::open(const record_visitor& visit, const record_decoder& decode,
                       const record_placed& placed) {
  close();
  // A rewrite that a crash interrupted left the old file intact.
  std::error_code ec;
  std::filesystem::remove(beside(path_), ec);

  const read_outcome outcome = read_record_file(path_, visit, decode, placed);
  if (outcome.cut_off) {
    std::filesystem::resize_file(path_, outcome.end_of_records, ec);
    if (ec) hl::file_error("Cannot truncate the record file", path_.string(), ec.value());
  }
  fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) hl::file_error("Cannot open the record file", path_.string(), errno);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int err = errno;
    close();
    hl::file_error("Cannot open the record file", path_.string(), err);
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
}

void record_file::append(const hl::ref& record) {
  if (!is_open()) hl::simple_error(fmt::format("The record file {} is not open.", path_.string()));
  append_printed(printed(record));
}

std::string record_file::printed(const hl::ref& record) const {
  check_readable(record, path_);
  return printed_record(record);
}

void record_file::append_printed(std::string_view text) {
  if (!is_open()) hl::simple_error(fmt::format("The record file {} is not open.", path_.string()));
  for (std::string_view rest = text; !rest.empty();) {
    const ssize_t n = ::write(fd_, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A record written in part would be read as damage: it is cut off again.
      const int err = n < 0 ? errno : ENOSPC;
      close();
      std::error_code ec;
      std::filesystem::resize_file(path_, size_, ec);
      hl::file_error("Cannot write the record file", path_.string(), err);
    }
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  size_ += text.size();
}

void record_file::rewrite(const std::vector<hl::ref>& records) {
  close();
  const std::filesystem::path next = beside(path_);
  std::string text;
  for (const hl::ref& r : records) {
    check_readable(r, path_);
    text += printed_record(r);
  }
  {
    std::ofstream out(next, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      const int err = errno;
      std::error_code ec;
      std::filesystem::remove(next, ec);
      hl::file_error("Cannot write the record file", next.string(), err);
    }
  }
  std::error_code ec;
  std::filesystem::rename(next, path_, ec);
  if (ec) hl::file_error("Cannot replace the record file", path_.string(), ec.value());
}

void record_file::close() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

}  // namespace vtm::records
