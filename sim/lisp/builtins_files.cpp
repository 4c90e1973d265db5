// Lisp builtins on pathnames and files. Functions that answer several values
// in Common Lisp answer their first one here.
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "lisp/runtime.h"

namespace host::lisp {

namespace {

symbol& default_pathname_defaults() {
  static symbol& s = cl_symbol("*DEFAULT-PATHNAME-DEFAULTS*");
  return s;
}

pathname_parts parts_of(const ref& designator) { return as_pathname(pathname(designator)).parts; }

bool is_keyword_named(const ref& r, std::string_view name) {
  return keywordp(r) && as_symbol(r).name == name;
}

std::vector<ref> directory_argument(const ref& value) {
  if (is_nil(value)) return {};
  if (stringp(value)) return {ref(&keyword("ABSOLUTE")), value};
  if (is_keyword_named(value, "WILD")) return {ref(&keyword("ABSOLUTE")), ref(&keyword("WILD-INFERIORS"))};
  if (!consp(value)) type_error(value, "(OR LIST STRING (MEMBER :WILD))");
  std::vector<ref> dir = list_to_vector(value);
  if (!is_keyword_named(dir[0], "ABSOLUTE") && !is_keyword_named(dir[0], "RELATIVE"))
    type_error(dir[0], "(MEMBER :ABSOLUTE :RELATIVE)");
  for (std::size_t i = 1; i < dir.size(); ++i) {
    const ref& c = dir[i];
    if (!stringp(c) && !is_keyword_named(c, "WILD") && !is_keyword_named(c, "WILD-INFERIORS") &&
        !is_keyword_named(c, "UP") && !is_keyword_named(c, "BACK"))
      type_error(c, "(OR STRING (MEMBER :WILD :WILD-INFERIORS :UP :BACK))");
  }
  return dir;
}

std::optional<std::string> component_argument(const ref& value) {
  if (is_nil(value)) return std::nullopt;
  if (is_keyword_named(value, "WILD")) return "*";
  if (!stringp(value)) type_error(value, "(OR STRING (MEMBER NIL :WILD))");
  return as_string(value);
}

ref component_value(const std::optional<std::string>& part) {
  if (!part) return nil();
  if (*part == "*") return ref(&keyword("WILD"));
  return make_string(*part);
}

ref make_pathname_fn(args_t args) {
  keyword_args k("MAKE-PATHNAME", args, 0, {"directory", "name", "type", "defaults", "device"});
  pathname_parts p;
  if (k.has("defaults")) p = parts_of(k.get("defaults"));
  if (k.has("directory")) p.directory = directory_argument(k.get("directory"));
  if (k.has("name")) p.name = component_argument(k.get("name"));
  if (k.has("type")) p.type = component_argument(k.get("type"));
  if (k.has("device")) {
    ref device = k.get("device");
    if (!is_nil(device) && !stringp(device)) type_error(device, "(OR STRING NULL)");
    p.device = component_argument(device);
  }
  return make_pathname(std::move(p));
}

pathname_parts defaults_argument(args_t args, std::size_t index) {
  if (args.size() > index) return parts_of(args[index]);
  symbol& d = default_pathname_defaults();
  return boundp(d) ? parts_of(symbol_value(d)) : pathname_parts{};
}

// A one-argument builtin on a pathname designator.
void defun1(std::string_view name, std::function<ref(const ref&)> fn) {
  std::string n(name);
  defun(cl_symbol(name), [n, fn = std::move(fn)](args_t args) {
    check_argument_count(n, args, 1, 1);
    return fn(args[0]);
  });
}

const builtins_registration reg([] {
  defvar(default_pathname_defaults(), make_pathname_obj({}));
  defun(cl_symbol("MAKE-PATHNAME"), make_pathname_fn);
  defun1("PATHNAME", [](const ref& x) { return pathname(x); });
  defun1("PATHNAME-DIRECTORY", [](const ref& x) { return list_from(parts_of(x).directory); });
  defun1("PATHNAME-NAME", [](const ref& x) { return component_value(parts_of(x).name); });
  defun1("PATHNAME-TYPE", [](const ref& x) { return component_value(parts_of(x).type); });
  defun1("PATHNAME-DEVICE", [](const ref& x) {
    const auto& device = parts_of(x).device;
    return device ? make_string(*device) : nil();
  });
  defun1("NAMESTRING", [](const ref& x) { return make_string(namestring(x)); });
  defun1("DIRECTORY-NAMESTRING", [](const ref& x) { return make_string(directory_namestring(parts_of(x))); });
  defun1("FILE-NAMESTRING", [](const ref& x) { return make_string(file_namestring(parts_of(x))); });
  defun(cl_symbol("PARSE-NAMESTRING"), [](args_t args) {
    check_argument_count("PARSE-NAMESTRING", args, 1, 3);  // host and defaults mean nothing on POSIX
    if (!stringp(args[0]) && !is(args[0], tag::pathname) && !is(args[0], tag::stream))
      type_error(args[0], "(OR STRING PATHNAME FILE-STREAM)");
    return pathname(args[0]);
  });
  defun(cl_symbol("MERGE-PATHNAMES"), [](args_t args) {
    check_argument_count("MERGE-PATHNAMES", args, 1, 3);
    return make_pathname(merge_pathnames(parts_of(args[0]), defaults_argument(args, 1)));
  });
  defun1("WILD-PATHNAME-P", [](const ref& x) { return boolean(wild_p(parts_of(x))); });
  defun(cl_symbol("PATHNAME-MATCH-P"), [](args_t args) {
    check_argument_count("PATHNAME-MATCH-P", args, 2, 2);
    return boolean(pathname_match_p(parts_of(args[0]), parts_of(args[1])));
  });
  defun1("DIRECTORY", [](const ref& x) {
    return list_from(directory(merge_pathnames(parts_of(x), defaults_argument({}, 0))));
  });
  defun1("PROBE-FILE", [](const ref& x) { return probe_file(x); });
  defun1("FILE-WRITE-DATE", [](const ref& x) { return make_integer(file_write_date(x)); });
  defun(cl_symbol("RENAME-FILE"), [](args_t args) {
    check_argument_count("RENAME-FILE", args, 2, 2);
    return rename_file(args[0], args[1]);
  });
  defun1("DELETE-FILE", [](const ref& x) { return boolean(delete_file(x)); });
  defun1("ENSURE-DIRECTORIES-EXIST", [](const ref& x) {
    ensure_directories_exist(x);
    return x;
  });
});

}  // namespace

}  // namespace host::lisp
