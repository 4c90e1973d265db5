#include "host/lisp/packages.h"

#include <algorithm>
#include <map>

#include "host/lisp/errors.h"
#include "lisp/runtime.h"

namespace host::lisp {

symbol* nil_symbol();  // object.cpp

namespace {

struct runtime_state {
  std::vector<std::unique_ptr<package>> packages;
  std::map<std::string, package*, std::less<>> by_name;  // names and nicknames
  package* cl = nullptr;
  package* keyword = nullptr;
  package* user = nullptr;
  symbol* package_var = nullptr;  // *PACKAGE*
};

runtime_state* g_state = nullptr;
bool g_initializing = false;

std::vector<std::function<void()>>& installers() {
  static std::vector<std::function<void()>> v;
  return v;
}

package& new_package(runtime_state& st, std::string_view name, std::vector<std::string> nicknames,
                     std::vector<package*> use_list) {
  if (st.by_name.count(name)) simple_error("A package named " + std::string(name) + " already exists.");
  auto p = std::make_unique<package>(std::string(name));
  p->nicknames = std::move(nicknames);
  p->use_list = std::move(use_list);
  package* raw = p.get();
  st.by_name.emplace(std::string(name), raw);
  for (auto& n : raw->nicknames) st.by_name.emplace(n, raw);
  st.packages.push_back(std::move(p));
  return *raw;
}

// Host packages beside the standard ones; their names are the host's.
constexpr const char* host_packages[] = {"OLI",      "MEI",   "FRAME2",       "FRAME2-UI", "ELAN",  "ELAN-UI",
                                         "LINKS-UI", "DOCU",  "MODELMANAGER", "EVENT",     "SDSIM", "DSM",
                                         "K2",       "K2-UI", "SYSTEM",       "G-BROWSER"};

void create_standard_packages(runtime_state& st) {
  st.cl = &new_package(st, "COMMON-LISP", {"LISP", "CL"}, {});
  st.keyword = &new_package(st, "KEYWORD", {}, {});
  st.user = &new_package(st, "COMMON-LISP-USER", {"CL-USER", "USER"}, {st.cl});
  for (const char* name : host_packages) new_package(st, name, {}, {st.cl});

  symbol* nil = nil_symbol();
  nil->home_package = st.cl;
  st.cl->externals.emplace("NIL", nil);
  nil->value = ref();
  nil->constant = true;
  symbol& t = intern("T", *st.cl);
  export_symbol(t, *st.cl);
  t.value = ref(&t);
  t.constant = true;

  st.package_var = &intern("*PACKAGE*", *st.cl);
  export_symbol(*st.package_var, *st.cl);
  st.package_var->special = true;
  st.package_var->value = ref(st.user);
}

}  // namespace

builtins_registration::builtins_registration(std::function<void()> installer) {
  installers().push_back(std::move(installer));
}

void initialize_runtime() {
  if (g_state || g_initializing) return;
  g_initializing = true;
  nil_symbol();
  auto* st = new runtime_state();
  create_standard_packages(*st);
  g_state = st;
  for (auto& f : installers()) f();
  g_initializing = false;
}

namespace {
runtime_state& state() {
  if (!g_state) {
    if (g_initializing) {
      // Package creation during start-up before g_state is published cannot
      // happen: create_standard_packages works on its own state object.
      simple_error("The Lisp runtime is used before it is initialised.");
    }
    initialize_runtime();
  }
  return *g_state;
}
}  // namespace

package* find_package(std::string_view name) {
  auto& st = state();
  auto it = st.by_name.find(name);
  return it == st.by_name.end() ? nullptr : it->second;
}

package& make_package(std::string_view name, std::vector<std::string> nicknames,
                      std::vector<package*> use_list) {
  auto& st = state();
  for (auto& n : nicknames)
    if (st.by_name.count(n)) simple_error("A package named " + n + " already exists.");
  return new_package(st, name, std::move(nicknames), std::move(use_list));
}

package& require_package(std::string_view name) {
  if (package* p = find_package(name)) return *p;
  simple_error("The package " + std::string(name) + " does not exist.");
}

package& package_designator(const ref& r) {
  if (r->type == tag::package) return static_cast<package&>(*r);
  return require_package(string_designator(r));
}

package& common_lisp_package() { return *state().cl; }
package& keyword_package() { return *state().keyword; }
package& user_package() { return *state().user; }

package& current_package() {
  auto& st = state();
  const ref& v = *st.package_var->value;
  if (v->type == tag::package) return static_cast<package&>(*v);
  return *st.user;
}

symbol* find_symbol(std::string_view name, const package& p, symbol_status* status) {
  std::string key(name);
  if (auto it = p.externals.find(key); it != p.externals.end()) {
    if (status) *status = symbol_status::external;
    return it->second;
  }
  if (auto it = p.internals.find(key); it != p.internals.end()) {
    if (status) *status = symbol_status::internal;
    return it->second;
  }
  for (package* used : p.use_list) {
    if (auto it = used->externals.find(key); it != used->externals.end()) {
      if (status) *status = symbol_status::inherited;
      return it->second;
    }
  }
  if (status) *status = symbol_status::none;
  return nullptr;
}

bool is_keyword(const symbol& s) { return g_state && s.home_package == g_state->keyword; }

symbol& intern(std::string_view name, package& p, symbol_status* status) {
  if (symbol* s = find_symbol(name, p, status)) return *s;
  auto* s = new symbol(std::string(name), &p);
  bool kw = g_state ? &p == g_state->keyword : false;
  if (kw) {
    s->value = ref(s);
    s->constant = true;
    p.externals.emplace(s->name, s);
  } else {
    p.internals.emplace(s->name, s);
  }
  return *s;
}

symbol& keyword(std::string_view name) { return intern(name, keyword_package()); }

symbol& cl_symbol(std::string_view name) {
  package& cl = common_lisp_package();
  symbol& s = intern(name, cl);
  if (s.home_package == &cl && !cl.externals.count(s.name)) export_symbol(s, cl);
  return s;
}

symbol* make_uninterned_symbol(std::string_view name) {
  static std::vector<std::unique_ptr<symbol>> uninterned;  // immortal like interned ones
  uninterned.push_back(std::make_unique<symbol>(std::string(name), nullptr));
  return uninterned.back().get();
}

void export_symbol(symbol& s, package& p) {
  auto it = p.internals.find(s.name);
  if (it != p.internals.end() && it->second == &s) {
    p.internals.erase(it);
    p.externals.emplace(s.name, &s);
    return;
  }
  if (auto e = p.externals.find(s.name); e != p.externals.end() && e->second == &s) return;
  symbol_status st;
  symbol* found = find_symbol(s.name, p, &st);
  if (found && found != &s)
    simple_error("Exporting " + s.name + " from " + p.name +
                 " would conflict with another symbol of that name.");
  // Inherited or not present: import, then export.
  p.externals.emplace(s.name, &s);
}

void import_symbol(symbol& s, package& p) {
  symbol* found = find_symbol(s.name, p);
  if (found == &s) {
    if (!p.externals.count(s.name)) p.internals.emplace(s.name, &s);
    return;
  }
  if (found && (p.internals.count(s.name) || p.externals.count(s.name)))
    simple_error("Importing " + s.name + " into " + p.name + " conflicts with a symbol present there.");
  p.internals.emplace(s.name, &s);
  if (!s.home_package) s.home_package = &p;
}

void shadowing_import(symbol& s, package& p) {
  p.internals.erase(s.name);
  p.externals.erase(s.name);
  p.internals.emplace(s.name, &s);
  if (std::find(p.shadowing.begin(), p.shadowing.end(), &s) == p.shadowing.end()) p.shadowing.push_back(&s);
}

void use_package(package& used, package& user) {
  if (&used == &user) return;
  if (std::find(user.use_list.begin(), user.use_list.end(), &used) == user.use_list.end())
    user.use_list.push_back(&used);
}

std::vector<package*> all_packages() {
  std::vector<package*> out;
  for (auto& p : state().packages) out.push_back(p.get());
  return out;
}

}  // namespace host::lisp
