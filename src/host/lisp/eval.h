// The host's evaluator for command lines, resource and customization files.
//
// It is a host service, not a full Lisp: special forms quote, function,
// setq, setf (of variables, getf, gethash and structure slots), defvar,
// defparameter, defconstant, defun, in-package, let, let*, progn, prog1, if,
// when, unless, cond, case, and, or, lambda, dolist, dotimes, block,
// return-from, return, unwind-protect, ignore-errors, handler-case (error
// only). Anything else in operator position must name a function. A form it
// does not support is an error that says so.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "host/lisp/object.h"
#include "host/lisp/packages.h"

namespace host::lisp {

ref eval(const ref& form);
// Reads and evaluates every form of the text; returns the last value.
ref eval_string(std::string_view text, std::string source = "string");
// (load path): evaluates a source file in a fresh binding of *package*.
// Missing file: a FILE-ERROR naming it.
ref load(const std::filesystem::path& file);

ref funcall(const ref& function_designator, args_t args);
template <class... R>
ref call(const ref& function_designator, const R&... args) {
  const ref a[] = {ref(args)..., ref()};
  return funcall(function_designator, args_t(a, sizeof...(R)));
}
template <class... R>
ref call(symbol& function_name, const R&... args) {
  return call(ref(&function_name), args...);
}
// The function a symbol names, or the host's error "The function ~S is undefined."
ref symbol_function(symbol& s);

// Defines a global function. Returns the symbol.
symbol& defun(symbol& name, native_fn fn);
symbol& defun(std::string_view name, package& p, native_fn fn);

// Special variables.
void defvar(symbol& s, ref initial);      // keeps an existing value
void defparameter(symbol& s, ref value);  // always sets
ref symbol_value(symbol& s);              // unbound: the host's error
void set_symbol_value(symbol& s, ref value);
bool boundp(const symbol& s);

// Dynamic binding for the extent of a C++ scope.
class special_binding {
 public:
  special_binding(symbol& s, ref value);
  ~special_binding();
  special_binding(const special_binding&) = delete;
  special_binding& operator=(const special_binding&) = delete;

 private:
  symbol& s_;
  std::optional<ref> saved_;
};

// Keyword arguments of a native: parses args[from..] as key/value pairs.
// Unknown keys signal unless allow_other_keys.
struct keyword_args {
  keyword_args(std::string_view function, args_t args, std::size_t from,
               std::initializer_list<std::string_view> allowed, bool allow_other_keys = false);
  ref get(std::string_view key, const ref& dflt = ref()) const;
  bool has(std::string_view key) const;

 private:
  std::vector<std::pair<std::string, ref>> pairs_;
};

}  // namespace host::lisp
