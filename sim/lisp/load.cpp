// Evaluation of source text: eval_string for command lines and scripts,
// load for resource and customization files.
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/reader.h"
#include "lisp/runtime.h"

namespace host::lisp {

namespace {

// Counts lines up to the first character of the next form, skipping blanks
// and comments as the reader does.
class line_counter {
 public:
  explicit line_counter(std::string_view text) : text_(text) {}
  std::size_t line_of_form_at(std::size_t offset) {
    std::size_t i = std::min(offset, text_.size());
    while (i < text_.size()) {
      if (std::isspace(static_cast<unsigned char>(text_[i]))) {
        ++i;
      } else if (text_[i] == ';') {
        while (i < text_.size() && text_[i] != '\n') ++i;
      } else if (text_.substr(i, 2) == "#|") {
        i = skip_block_comment(i + 2);
      } else {
        break;
      }
    }
    for (; counted_ < i; ++counted_)
      if (text_[counted_] == '\n') ++line_;
    return line_;
  }

 private:
  std::size_t skip_block_comment(std::size_t i) const {
    for (int depth = 1; i < text_.size() && depth > 0;) {
      if (text_.substr(i, 2) == "|#") {
        --depth;
        i += 2;
      } else if (text_.substr(i, 2) == "#|") {
        ++depth;
        i += 2;
      } else {
        ++i;
      }
    }
    return i;
  }

  std::string_view text_;
  std::size_t counted_ = 0;
  std::size_t line_ = 1;
};

// Reads and evaluates the forms one at a time, so that in-package changes
// how the following forms are read. With `locate`, an evaluation error is
// signalled again naming the source and the line where its form starts.
ref eval_forms(const std::string& text, const std::string& source, bool locate) {
  std::istringstream in(text);
  reader r(in, source);
  line_counter lines(text);
  ref form, result;
  while (true) {
    const std::streamoff at = in.tellg();
    if (!r.read(form)) break;
    try {
      result = eval(form);
    } catch (const lisp_error& err) {
      if (!locate) throw;
      const std::size_t line = lines.line_of_form_at(at < 0 ? text.size() : static_cast<std::size_t>(at));
      signal(err.kind(), format("~A, line ~D: ~A", make_string(source),
                                make_integer(static_cast<std::int64_t>(line)), make_string(err.message())));
    }
  }
  return result;
}

[[noreturn]] void cannot_load(const std::filesystem::path& file, int err) {
  signal("FILE-ERROR", "Cannot load \"" + file.string() + "\": " + std::strerror(err));
}

ref load_function(args_t args) {
  check_argument_count("LOAD", args, 1, any_count);
  keyword_args keys("LOAD", args, 1, {"if-does-not-exist", "verbose", "print", "external-format"});
  const std::filesystem::path file = to_path(args[0]);
  if (is_nil(keys.get("if-does-not-exist", t())) && !std::filesystem::exists(file)) return ref();
  return load(file);
}

ref eval_function(args_t args) {
  check_argument_count("EVAL", args, 1, 1);
  return eval(args[0]);
}

const builtins_registration reg([] {
  defvar(cl_symbol("*LOAD-PATHNAME*"), ref());
  defvar(cl_symbol("*LOAD-TRUENAME*"), ref());
  defun(cl_symbol("LOAD"), load_function);
  defun(cl_symbol("EVAL"), eval_function);
});

}  // namespace

ref eval_string(std::string_view text, std::string source) {
  return eval_forms(std::string(text), source, false);
}

ref load(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) cannot_load(file, EISDIR);
  std::ifstream in(file, std::ios::binary);
  if (!in) cannot_load(file, errno ? errno : ENOENT);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::filesystem::path truename = std::filesystem::weakly_canonical(std::filesystem::absolute(file));
  special_binding package(cl_symbol("*PACKAGE*"), ref(&current_package()));
  special_binding load_pathname(cl_symbol("*LOAD-PATHNAME*"), make_pathname(parse_namestring(file.string())));
  special_binding truename_binding(cl_symbol("*LOAD-TRUENAME*"),
                                   make_pathname(parse_namestring(truename.string())));
  eval_forms(text, file.string(), true);
  return t();
}

}  // namespace host::lisp
