// Lisp builtins on streams: open, close, read-line, output flushing, string
// output streams and the standard stream variables. Functions that answer
// several values in Common Lisp answer their first one here.
#include <cerrno>
#include <filesystem>
#include <iostream>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "lisp/runtime.h"

namespace host::lisp {

namespace {

// The name of a keyword option value; anything else is refused by `unsupported`.
std::string option(const ref& value) { return keywordp(value) ? as_symbol(value).name : std::string(); }

[[noreturn]] void unsupported(std::string_view key, const ref& value, std::string_view supported) {
  simple_error("OPEN: " + std::string(key) + " " + prin1_to_string(value) +
               " is not supported (the host supports " + std::string(supported) + ").");
}

ref open_input(const std::filesystem::path& file, const keyword_args& k) {
  ref if_missing = k.get("if-does-not-exist", ref(&keyword("ERROR")));
  ref stream = open_input_file(file);
  if (!is_nil(stream)) return stream;
  if (is_nil(if_missing)) return nil();
  std::string mode = option(if_missing);
  if (mode == "ERROR") file_error("Cannot open the input file", file.string(), ENOENT);
  if (mode != "CREATE") unsupported(":IF-DOES-NOT-EXIST", if_missing, ":ERROR, :CREATE and NIL");
  close_stream(open_output_file(file, if_exists::append));
  return open_input_file(file);
}

ref open_output(const std::filesystem::path& file, const keyword_args& k) {
  ref if_exists_value = k.get("if-exists", ref(&keyword("ERROR")));
  std::string exists_mode = option(if_exists_value);
  if_exists mode;
  if (exists_mode == "ERROR")
    mode = if_exists::error;
  else if (exists_mode == "SUPERSEDE")
    mode = if_exists::supersede;
  else if (exists_mode == "APPEND")
    mode = if_exists::append;
  else
    unsupported(":IF-EXISTS", if_exists_value, ":ERROR, :SUPERSEDE and :APPEND");
  // As in Common Lisp, appending does not create a missing file unless asked.
  ref if_missing = k.get("if-does-not-exist", ref(&keyword(mode == if_exists::append ? "ERROR" : "CREATE")));
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(file, ec))) {
    if (is_nil(if_missing)) return nil();
    std::string missing_mode = option(if_missing);
    if (missing_mode == "ERROR") file_error("Cannot open the output file", file.string(), ENOENT);
    if (missing_mode != "CREATE") unsupported(":IF-DOES-NOT-EXIST", if_missing, ":ERROR, :CREATE and NIL");
  }
  return open_output_file(file, mode);
}

ref open_fn(args_t args) {
  check_argument_count("OPEN", args, 1, any_count);
  keyword_args k("OPEN", args, 1, {"direction", "if-exists", "if-does-not-exist", "external-format"});
  ref format = k.get("external-format", ref(&keyword("DEFAULT")));
  if (option(format) != "UTF-8" && option(format) != "DEFAULT")
    unsupported(":EXTERNAL-FORMAT", format, ":UTF-8 and :DEFAULT, both UTF-8");
  std::filesystem::path file = to_path(args[0]);
  ref direction = k.get("direction", ref(&keyword("INPUT")));
  if (option(direction) == "INPUT") return open_input(file, k);
  if (option(direction) == "OUTPUT") return open_output(file, k);
  unsupported(":DIRECTION", direction, ":INPUT and :OUTPUT");
}

std::string stream_name(const ref& designator) {
  return is(designator, tag::stream) ? as_stream(designator).name : "standard input";
}

ref read_line_fn(args_t args) {
  check_argument_count("READ-LINE", args, 0, 4);
  ref stream = args.empty() ? nil() : args[0];
  bool eof_error = args.size() < 2 || truthy(args[1]);
  std::istream& in = input_of(stream);
  std::string line;
  if (!std::getline(in, line)) {
    if (eof_error) signal("END-OF-FILE", "End of file on the stream \"" + stream_name(stream) + "\".");
    return args.size() > 2 ? args[2] : nil();
  }
  return make_string(line);
}

native_fn flush_fn(std::string name) {
  return [name](args_t args) {
    check_argument_count(name, args, 0, 1);
    ref stream = args.empty() ? nil() : args[0];
    std::ostream& out = output_of(stream);
    errno = 0;
    if (!out.flush())
      file_error("Cannot write the file",
                 is(stream, tag::stream) ? as_stream(stream).name : "standard output", errno ? errno : EIO);
    return nil();
  };
}

const builtins_registration reg([] {
  defvar(cl_symbol("*STANDARD-OUTPUT*"), standard_output_stream());
  defvar(cl_symbol("*STANDARD-INPUT*"), standard_input_stream());
  defun(cl_symbol("OPEN"), open_fn);
  defun(cl_symbol("CLOSE"), [](args_t args) {
    check_argument_count("CLOSE", args, 1, 3);
    keyword_args("CLOSE", args, 1, {"abort"});  // an aborted stream keeps what was written
    close_stream(args[0]);
    return t();
  });
  defun(cl_symbol("READ-LINE"), read_line_fn);
  defun(cl_symbol("FINISH-OUTPUT"), flush_fn("FINISH-OUTPUT"));
  defun(cl_symbol("FORCE-OUTPUT"), flush_fn("FORCE-OUTPUT"));
  defun(cl_symbol("MAKE-STRING-OUTPUT-STREAM"), [](args_t args) {
    check_argument_count("MAKE-STRING-OUTPUT-STREAM", args, 0, 0);
    return make_string_output_stream();
  });
  defun(cl_symbol("GET-OUTPUT-STREAM-STRING"), [](args_t args) {
    check_argument_count("GET-OUTPUT-STREAM-STRING", args, 1, 1);
    return make_string(get_output_stream_string(args[0]));
  });
});

}  // namespace

}  // namespace host::lisp
