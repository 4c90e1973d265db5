// The host's native Lisp interface: the unmangled-style names a module
// library uses to create packages, symbols, strings and native functions.
//
// Values returned as raw LAOBJ* stay valid until the host finishes the
// command it is running (they are kept in the host's autorelease pool);
// hold a host::lisp::ref to keep one longer.
#pragma once

#include <string>

#include "host/lisp/object.h"

using LCONS = host::lisp::cons_cell;

// A native Lisp function: the evaluated arguments, the result.
using LFUNCTION = LAOBJ* (*)(int argument_count, LAOBJ** arguments);

// Symbol status for make_package_function: 1 internal, 2 external.
LAOBJ* make_package(const wchar_t* name, LAOBJ* nicknames, LAOBJ* use_list, int, int, bool);
// The package of that name or nickname, or NIL.
LAOBJ* find_package(const wchar_t* name);
LAOBJ* make_simple_string(const wchar_t* text);
LAOBJ* make_keyword(const wchar_t* name);
// Interns name in package with the given status and makes fn its function.
LAOBJ* make_package_function(const wchar_t* name, LFUNCTION fn, LAOBJ* package, int status);
// The symbol accessible in package under name, or nullptr; never interns.
LAOBJ* find_symbol(const wchar_t* name, LAOBJ* package);
LAOBJ* ifuncall1(LAOBJ* function, LAOBJ* argument);
// Loads a unit of a module library: finds and calls the library's exported
// `<unit>_initialize`. Returns 1; a unit that signals propagates the error.
int hcl_load_and_compile_lisp(const wchar_t* unit_path, const wchar_t* directory, bool, bool);
// The use list new packages get: (COMMON-LISP).
LAOBJ* hcl_default_uselist();
// Reads one form from the text.
LAOBJ* string_to_object(const wchar_t* text);
// Signals the host's error with a format control and `count` LAOBJ* arguments.
[[noreturn]] void FEerror(const wchar_t* format, int count, ...);
// The text of a Lisp string as a wide string; type error otherwise.
std::wstring object_to_string(LAOBJ* object);
// Parses key/value pairs: values[i] receives the value of keys[i] or NIL.
// A key not among keys signals unless allow_other_keys.
void parse_key(LAOBJ** arguments, int argument_count, LAOBJ* const* keys, int key_count, LAOBJ** values,
               bool allow_other_keys);

// Exported by the host executable; a module calls it to tie itself to it.
int ThisIsModeling();

// Marks the library as one whose threads the host need not be told about.
class DISABLE_THREAD_NOTIFICATIONS {
 public:
  explicit DISABLE_THREAD_NOTIFICATIONS(const char* name);
  ~DISABLE_THREAD_NOTIFICATIONS();
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

namespace host::lisp {
// Keeps value alive until the current host command ends; returns it raw.
LAOBJ* autorelease(const ref& value);
void drain_autorelease_pool();
// Wide and UTF-8 text.
std::string narrow(std::wstring_view wide);
std::wstring widen(std::string_view utf8);
}  // namespace host::lisp
