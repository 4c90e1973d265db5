// The host's native interface for module libraries.
#include "host/native.h"

#include <cstdarg>
#include <locale>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/lisp/reader.h"

namespace host::lisp {

namespace {
std::vector<ref>& pool() {
  static std::vector<ref> p;
  return p;
}
}  // namespace

LAOBJ* autorelease(const ref& value) {
  if (!value->immortal) pool().push_back(value);
  return value.get();
}

void drain_autorelease_pool() {
  // Values freed here may themselves release others; swap first.
  std::vector<ref> old;
  old.swap(pool());
}

std::string narrow(std::wstring_view wide) {
  std::string out;
  for (wchar_t wc : wide) {
    auto c = static_cast<char32_t>(wc);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::wstring widen(std::string_view s) {
  std::wstring out;
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    int extra;
    if (c < 0x80) {
      cp = c;
      extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else {
      cp = c & 0x07;
      extra = 3;
    }
    ++i;
    for (int k = 0; k < extra && i < s.size(); ++k, ++i)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    out += static_cast<wchar_t>(cp);
  }
  return out;
}

}  // namespace host::lisp

using namespace host::lisp;

namespace {
std::vector<std::string> string_list(LAOBJ* list) {
  std::vector<std::string> out;
  for (const ref& item : list_to_vector(ref(list))) out.push_back(string_designator(item));
  return out;
}
}  // namespace

LAOBJ* make_package(const wchar_t* name, LAOBJ* nicknames, LAOBJ* use_list, int, int, bool) {
  std::vector<package*> uses;
  for (const ref& item : list_to_vector(ref(use_list))) uses.push_back(&package_designator(item));
  return &host::lisp::make_package(narrow(name), string_list(nicknames), std::move(uses));
}

LAOBJ* find_package(const wchar_t* name) {
  package* p = host::lisp::find_package(narrow(name));
  return p ? static_cast<LAOBJ*>(p) : nil().get();
}

LAOBJ* make_simple_string(const wchar_t* text) { return autorelease(make_string(narrow(text))); }

LAOBJ* make_keyword(const wchar_t* name) { return &keyword(narrow(name)); }

LAOBJ* make_package_function(const wchar_t* name, LFUNCTION fn, LAOBJ* package_object, int status) {
  package& p = as_package(ref(package_object));
  symbol& s = intern(narrow(name), p);
  if (status == 2) export_symbol(s, p);
  defun(s, [fn](args_t args) {
    std::vector<LAOBJ*> raw;
    raw.reserve(args.size());
    for (const ref& a : args) raw.push_back(a.get());
    return ref(fn(static_cast<int>(raw.size()), raw.data()));
  });
  return &s;
}

LAOBJ* find_symbol(const wchar_t* name, LAOBJ* package_object) {
  return host::lisp::find_symbol(narrow(name), as_package(ref(package_object)));
}

LAOBJ* ifuncall1(LAOBJ* function, LAOBJ* argument) { return autorelease(call(ref(function), ref(argument))); }

LAOBJ* hcl_default_uselist() { return autorelease(list({ref(&common_lisp_package())})); }

LAOBJ* string_to_object(const wchar_t* text) { return autorelease(read_from_string(narrow(text))); }

void FEerror(const wchar_t* control, int count, ...) {
  std::vector<ref> args;
  va_list ap;
  va_start(ap, count);
  for (int i = 0; i < count; ++i) args.emplace_back(va_arg(ap, LAOBJ*));
  va_end(ap);
  host::lisp::error(narrow(control), args);
}

std::wstring object_to_string(LAOBJ* object) { return widen(as_string(ref(object))); }

void parse_key(LAOBJ** arguments, int argument_count, LAOBJ* const* keys, int key_count, LAOBJ** values,
               bool allow_other_keys) {
  for (int k = 0; k < key_count; ++k) values[k] = nil().get();
  if (argument_count % 2) simple_error("Odd number of keyword arguments.");
  std::vector<bool> seen(key_count);
  for (int i = 0; i < argument_count; i += 2) {
    ref key(arguments[i]);
    if (!keywordp(key)) type_error(key, "KEYWORD");
    int found = -1;
    for (int k = 0; k < key_count; ++k)
      if (keys[k] == arguments[i]) found = k;
    if (found < 0) {
      if (!allow_other_keys)
        signal("PROGRAM-ERROR", "Unknown keyword argument :" + static_cast<symbol&>(*key).name + ".");
      continue;
    }
    if (!seen[found]) values[found] = arguments[i + 1];
    seen[found] = true;
  }
}
