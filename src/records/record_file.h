// An append-only file of Lisp records, the storage of every record manager.
//
// Each record is written as the host's pretty printer writes a form (a
// newline, then the form) and flushed at once, so a crash of the host can cut
// off at most the records being written (the change log writes the changes it
// held for a file in one write(2)). Opening drops such a cut-off last
// record with a warning and truncates the file to the end of the last
// complete record before anything is appended. Damage anywhere else is an
// error naming the file and the byte offset. The format and the recovery
// rules are in docs/record-files.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/lisp/object.h"

namespace vtm::records {

class record_text;

// Called with each record in file order. An error it signals is reported
// with the file and the record's byte offset.
using record_visitor = std::function<void(const host::lisp::ref& record)>;
// The fast path: decodes the record that starts at the cursor and takes it,
// or returns false (or signals) to leave it to the host's reader and the
// visitor. See record_text.h.
using record_decoder = std::function<bool(record_text& text)>;

// Where a record lies in its file: from start up to end, both byte offsets.
struct record_place {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};
// Called with the place of each record taken, after the visitor or the decoder.
using record_placed = std::function<void(record_place)>;

struct read_outcome {
  std::uint64_t end_of_records = 0;  // byte offset after the last complete record
  bool cut_off = false;              // a cut-off last record was dropped
};

// Reads the records of file (none when it is missing) without changing it.
// Reading stops at a record that reads as NIL.
read_outcome read_record_file(const std::filesystem::path& file, const record_visitor& visit,
                              const record_decoder& decode = {}, const record_placed& placed = {});

// Reads single records of a file at places found when it was read, for a
// manager that keeps places instead of records.
class record_reader {
 public:
  explicit record_reader(std::filesystem::path path);
  ~record_reader();
  record_reader(record_reader&& other) noexcept
      : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), text_(std::move(other.text_)) {}
  record_reader& operator=(record_reader&&) = delete;

  // The text at place, valid until the next call; signals a file error when
  // the bytes are no longer there. The bytes up to read_to are read along,
  // for a caller that wants the records after place next.
  std::string_view text_at(record_place place, std::uint64_t read_to = 0);
  // The record at place read by the host's reader; errors name the file and
  // the record's byte offset.
  host::lisp::ref form_at(record_place place);
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  std::string text_;
  std::uint64_t text_start_ = 0;  // the byte offset of text_ in the file
};

class record_file {
 public:
  explicit record_file(std::filesystem::path path) : path_(std::move(path)) {}
  ~record_file() { close(); }
  record_file(record_file&& other) noexcept
      : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}
  record_file& operator=(record_file&& other) noexcept;

  // Reads every record, repairs a cut-off end and opens the file for
  // appending; a missing file is created empty.
  void open(const record_visitor& visit, const record_decoder& decode = {}, const record_placed& placed = {});
  // Writes the record in one write(2), so that it is in the file at once. A value without readable form (a
  // host handle, a stream, ...) is refused before anything is written; a failed write is cut from the file
  // again.
  void append(const host::lisp::ref& record);
  // The same for records printed already: text is, for each record, a
  // newline followed by its form as the host's pretty printer writes it.
  // Records written together are cut off together when the write fails.
  void append_printed(std::string_view text);
  // The text append writes for record; a value without readable form is
  // refused.
  std::string printed(const host::lisp::ref& record) const;
  // Replaces the file's records: they are written to a file beside it, which
  // is then renamed over it, so a crash leaves either the old or the new file.
  // The file is closed afterwards.
  void rewrite(const std::vector<host::lisp::ref>& records);
  void close();
  bool is_open() const { return fd_ >= 0; }
  // The byte offset the next record is appended at.
  std::uint64_t size() const { return size_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  int fd_ = -1;             // open for appending
  std::uint64_t size_ = 0;  // bytes in the file while it is open
};

}  // namespace vtm::records
