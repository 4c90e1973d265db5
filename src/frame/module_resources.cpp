#include "frame/module_resources.h"

#include "frame/loadmodule.h"
#include "host/lisp/errors.h"
#include "host/native.h"

using host::lisp::ref;

MODULE_RESOURCES& MODULE_RESOURCES::instance() {
  static MODULE_RESOURCES resources;
  return resources;
}

MODULE_RESOURCES::MODULE_RESOURCES()
    : keys_{host::lisp::nil().get(), host::lisp::nil().get()},
      default_text_(L"*** Requested resource unvailable!") {}

void MODULE_RESOURCES::add_resource(LAOBJ* key, const wchar_t* text) { table_[key] = text; }

const std::wstring& MODULE_RESOURCES::operator[](LAOBJ* key) const {
  auto it = table_.find(key);
  return it == table_.end() ? default_text_ : it->second;
}

const std::wstring& MODULE_RESOURCES::operator[](RESOURCE_ID id) const {
  LAOBJ* key = get_resource_key(id);
  return host::lisp::is_nil(ref(key)) ? default_text_ : (*this)[key];
}

LAOBJ* MODULE_RESOURCES::get_resource_key(RESOURCE_ID id) const {
  return id < keys_.size() ? keys_[id] : host::lisp::nil().get();
}

namespace {
void check_keyword(LAOBJ* key) {
  ref k(key);
  if (!host::lisp::keywordp(k)) host::lisp::type_error(k, "KEYWORD");
}
}  // namespace

// Pairs are stored from the last to the first, so when a call names a key
// twice its first text wins.
LAOBJ* MODULE_RESOURCES::register_module_resource(int count, LAOBJ** arguments) {
  if (count % 2 != 0)
    FEerror(L"Even number of arguments required! Found ~A",
            host::lisp::autorelease(host::lisp::make_integer(count)));
  auto& table = instance().table_;
  for (int i = count - 2; i >= 0; i -= 2) {
    check_keyword(arguments[i]);
    table[arguments[i]] = object_to_string(arguments[i + 1]);
  }
  return host::lisp::t().get();
}

// Always a fresh string; an empty text stands for the key's own name.
LAOBJ* MODULE_RESOURCES::get_resource(int count, LAOBJ** arguments) {
  if (count != 1) host::lisp::argument_count_error("GET-RESOURCE", count, 1, 1);
  LAOBJ* key = arguments[0];
  check_keyword(key);
  const MODULE_RESOURCES& resources = instance();
  auto it = resources.table_.find(key);
  if (it == resources.table_.end()) return make_simple_string(resources.default_text_.c_str());
  if (it->second.empty())
    return make_simple_string(host::lisp::widen(static_cast<host::lisp::symbol*>(key)->name).c_str());
  return make_simple_string(it->second.c_str());
}

void resources_initialize() {
  LAOBJ* package = LOADMODULE::instance().get_main_package();
  make_package_function(L"REGISTER-MODULE-RESOURCE", MODULE_RESOURCES::register_module_resource, package, 1);
  make_package_function(L"GET-RESOURCE", MODULE_RESOURCES::get_resource, package, 1);
  resmap_initialize();
}

// The module keeps no native resources besides its texts, so there is
// nothing to map.
void resmap_initialize() {}
