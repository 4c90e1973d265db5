// The structure browser (host/browser.h): per browser its current view and
// named searches, and the tree of the session drawn with the view's columns.
// The simulated browser draws on request only: `show browser` prints the
// tree as the user would see it, one line per instance, the current
// search's matches marked with "*". Redraws and rebuilds are counted.
#include "host/browser.h"

#include <algorithm>
#include <functional>
#include <map>

#include "host/clusters.h"
#include "host/console.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/mm_status.h"
#include "host/model_tree.h"
#include "host/modelmanager.h"
#include "lisp/runtime.h"
#include "modelmanager/database.h"
#include "session/host_error.h"
#include "session/lisp_def.h"
#include "session/paths.h"
#include "ui/ui_state.h"

namespace {

using namespace host::lisp;
using sim::session::entity_ptr;
using sim::session::position;

constexpr const char* node_kind = "BROWSER-NODE";

struct browser_state {
  int redraws = 0, rebuilds = 0;
  std::string view;  // empty: the host's default view
  bool view_persistent = false;
  std::vector<host::oli::browser_search> searches;
  std::string search;  // the active one, empty: none
  bool search_persistent = false;
};

std::map<std::string, browser_state>& browsers() {
  static std::map<std::string, browser_state> all;
  return all;
}

ref kw(std::string_view name) { return ref(&keyword(name)); }

std::string name_of(const std::optional<std::string>& n) { return n.value_or(""); }

// The stored model a contents comes from, if any.
std::optional<sim::modelmanager::stored_model> stored_of(const entity_ptr& contents) {
  ref elid = host::modelmanager::get_docelid_from_cluster(contents->handle());
  if (is_nil(elid)) return std::nullopt;
  return sim::modelmanager::current_database().find(string_designator(elid));
}

// The text of a column in the row of the node at p.
std::string column_text(const ref& column, const position& p) {
  const entity_ptr& instance = p.back();
  const entity_ptr& contents = instance->d.contents;
  const std::string id = string_designator(column);
  if (id == "INSTANCE-NAME") return name_of(instance->d.name);
  if (id == "CONTENTS-NAME") return contents ? name_of(contents->d.name) : "";
  if (id == "PATH-NAME") return string_designator(host::oli::sd_inq_obj_pathname(sim::session::make_path(p)));
  if (id == "MODIFIED") return contents && contents->d.modified ? "yes" : "no";
  if (id == "MODIFIABLE") return contents && contents->d.modifiable ? "yes" : "no";
  if (id == "SHARED") return contents && contents->d.users.size() > 1 ? "yes" : "no";
  if (id == "DB-STATE") {
    ref status = contents ? host::modelmanager::get_mmstatus_from_object(sim::session::make_path(p)) : nil();
    return is_nil(status) ? "" : string_designator(status);
  }
  if (id == "MM-VERSION" || id == "MM-STATE" || id == "DOC-UID-COLUMN") {
    std::optional<sim::modelmanager::stored_model> m = contents ? stored_of(contents) : std::nullopt;
    if (!m) return "";
    return id == "MM-VERSION" ? m->revision : id == "MM-STATE" ? m->state : m->unique_id_string;
  }
  for (const host::oli::column_definition& c : sim::ui::current().columns)
    if (eql(c.id, column) && truthy(c.display_fnc)) {
      ref node = make_handle(node_kind, std::make_shared<position>(p));
      ref value = trap([&] { return call(c.display_fnc, node); });
      if (is_condition(value)) return "<" + static_cast<condition_obj&>(*value).message + ">";
      return is_nil(value) ? "" : princ_to_string(value);
    }
  return "";
}

bool matches(const host::oli::browser_search& s, const position& p) {
  if (!s.enabled || s.criteria.empty()) return false;
  auto fold = [&](std::string text) {
    if (!s.case_sensitive)
      for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  for (const auto& c : s.criteria) {
    const std::string have = fold(column_text(c.column, p));
    const std::string want = fold(princ_to_string(c.value));
    const std::string op = string_designator(c.operation);
    if (op == "EQUALS" ? have != want : have.find(want) == std::string::npos) return false;
  }
  return true;
}

const host::oli::browser_view* find_view(const std::string& id) {
  for (const auto& v : sim::ui::current().views)
    if (v.id == id) return &v;
  return nullptr;
}

const host::oli::browser_search* find_search(browser_state& b, const std::string& name) {
  for (const auto& s : b.searches)
    if (s.name == name) return &s;
  return nullptr;
}

void walk(const entity_ptr& contents, position& p, const std::function<void(const position&)>& visit) {
  for (const entity_ptr& child : contents->d.children) {
    p.push_back(child);
    visit(p);
    if (child->d.contents) walk(child->d.contents, p, visit);
    p.pop_back();
  }
}

void show_browser(const std::string& name) {
  auto& out = standard_output();
  browser_state& b = browsers()[name];
  const host::oli::browser_view* view = b.view.empty() ? nullptr : find_view(b.view);
  out << "Structure browser " << name << ": view "
      << (view ? view->id + " \"" + view->title + "\"" + (b.view_persistent ? " (persistent)" : "")
               : std::string("default"))
      << ", " << b.redraws << " redraws, " << b.rebuilds << " rebuilds\n";
  const host::oli::browser_search* search = b.search.empty() ? nullptr : find_search(b, b.search);
  if (search) {
    out << "  search " << search->name << " \"" << search->title << "\"";
    for (const auto& c : search->criteria)
      out << " " << prin1_to_string(c.column) << " " << prin1_to_string(c.operation) << " "
          << prin1_to_string(c.value);
    out << (search->case_sensitive ? " case-sensitive" : "") << (search->enabled ? "" : " disabled") << '\n';
  }
  for (const auto& s : b.searches)
    if (s.name != b.search) out << "  search " << s.name << " \"" << s.title << "\" (not active)\n";
  const ref tree = view ? view->tree_config : list({kw("INSTANCE-NAME")});
  const std::vector<ref> details =
      view && view->activate_detail_configuration ? list_to_vector(view->detail_config) : std::vector<ref>{};
  if (!details.empty()) {
    out << "  columns:";
    for (const ref& d : details) out << " " << prin1_to_string(d);
    out << '\n';
  }
  position p;
  walk(sim::session::session::current().root_contents(), p, [&](const position& at) {
    std::string line = std::string(2 * at.size(), ' ') + (search && matches(*search, at) ? "* " : "");
    for (const ref& part : list_to_vector(tree))
      line += stringp(part) ? as_string(part) : column_text(part, at);
    for (const ref& d : details) line += " | " + column_text(d, at);
    out << line << '\n';
  });
}

const builtins_registration browser_functions([] {
  // (g-browser:update-browser-if-needed name &key refresh)
  sim::define_console_function("G-BROWSER", "UPDATE-BROWSER-IF-NEEDED", 1, 3, [](args_t a) {
    keyword_args k("G-BROWSER:UPDATE-BROWSER-IF-NEEDED", a, 1, {"REFRESH"});
    host::g_browser::update_browser_if_needed(string_designator(a[0]), truthy(k.get("REFRESH")));
    return t();
  });
  sim::define_console_function("G-BROWSER", "REBUILD-BROWSER-TREE", 1, 1, [](args_t a) {
    host::g_browser::rebuild_browser_tree(string_designator(a[0]));
    return t();
  });
  sim::define_console_function("G-BROWSER", "BROWSERNODE-OBJPATH", 1, 1,
                               [](args_t a) { return host::g_browser::browsernode_objpath(a[0]); });
  // (sdsim:browser-redraw-count name)
  sim::define_console_function("SDSIM", "BROWSER-REDRAW-COUNT", 1, 1, [](args_t a) {
    auto it = browsers().find(string_designator(a[0]));
    return make_integer(it == browsers().end() ? 0 : it->second.redraws);
  });
  // (oli:sd-set-current-browser-view browser view &key persistent)
  sim::define_console_function("OLI", "SD-SET-CURRENT-BROWSER-VIEW", 2, 4, [](args_t a) {
    keyword_args k("OLI:SD-SET-CURRENT-BROWSER-VIEW", a, 2, {"PERSISTENT"});
    host::oli::sd_set_current_browser_view(string_designator(a[0]), string_designator(a[1]),
                                           truthy(k.get("PERSISTENT")));
    return t();
  });
  // (oli:sd-create-browser-search browser name :title t :criteria ((column op value) ...)
  //                               :case-sensitive t :enabled t)
  sim::define_console_function("OLI", "SD-CREATE-BROWSER-SEARCH", 2, any_count, [](args_t a) {
    keyword_args k("OLI:SD-CREATE-BROWSER-SEARCH", a, 2, {"TITLE", "CRITERIA", "CASE-SENSITIVE", "ENABLED"});
    host::oli::browser_search s;
    s.name = string_designator(a[1]);
    s.title = is_nil(k.get("TITLE")) ? s.name : string_designator(k.get("TITLE"));
    for (const ref& c : list_to_vector(k.get("CRITERIA"))) {
      std::vector<ref> parts = list_to_vector(c);
      if (parts.size() != 3)
        simple_error("OLI:SD-CREATE-BROWSER-SEARCH: a criterion is (column operation value)");
      s.criteria.push_back({parts[0], parts[1], parts[2]});
    }
    s.case_sensitive = !k.has("CASE-SENSITIVE") || truthy(k.get("CASE-SENSITIVE"));
    s.enabled = !k.has("ENABLED") || truthy(k.get("ENABLED"));
    host::oli::sd_create_browser_search(string_designator(a[0]), s);
    return make_string(s.name);
  });
  sim::define_console_function("OLI", "SD-SET-CURRENT-BROWSER-SEARCH", 2, 4, [](args_t a) {
    keyword_args k("OLI:SD-SET-CURRENT-BROWSER-SEARCH", a, 2, {"PERSISTENT"});
    host::oli::sd_set_current_browser_search(string_designator(a[0]), string_designator(a[1]),
                                             truthy(k.get("PERSISTENT")));
    return t();
  });
  sim::define_console_function("OLI", "SD-DELETE-BROWSER-SEARCH", 2, 2, [](args_t a) {
    return boolean(host::oli::sd_delete_browser_search(string_designator(a[0]), string_designator(a[1])));
  });
  sim::register_show_topic("BROWSER", [] { show_browser("parcel-gbrowser"); });
});

}  // namespace

namespace host::g_browser {

void update_browser_if_needed(const std::string& browser, bool) { ++browsers()[browser].redraws; }

void rebuild_browser_tree(const std::string& browser) {
  browser_state& b = browsers()[browser];
  ++b.rebuilds;
  ++b.redraws;
}

lisp::ref browsernode_objpath(const lisp::ref& node) {
  auto p = handle_target<position>(node, node_kind);
  if (!sim::session::position_in_session(*p)) return nil();
  return host::oli::sd_inq_obj_pathname(sim::session::make_path(*p));
}

}  // namespace host::g_browser

namespace host::oli {

void sd_set_current_browser_view(const std::string& browser, const std::string& view, bool persistent) {
  if (!find_view(view))
    sim::host_command_failed("OLI", "UNKNOWN-VIEW", "There is no browser view " + view + ".");
  browser_state& b = browsers()[browser];
  b.view = view;
  b.view_persistent = persistent;
  ++b.redraws;
}

void sd_create_browser_search(const std::string& browser, const browser_search& search) {
  browser_state& b = browsers()[browser];
  std::erase_if(b.searches, [&](const browser_search& s) { return s.name == search.name; });
  b.searches.push_back(search);
}

void sd_set_current_browser_search(const std::string& browser, const std::string& name, bool persistent) {
  browser_state& b = browsers()[browser];
  if (!find_search(b, name))
    sim::host_command_failed("OLI", "UNKNOWN-SEARCH", "There is no browser search " + name + ".");
  b.search = name;
  b.search_persistent = persistent;
  ++b.redraws;
}

bool sd_delete_browser_search(const std::string& browser, const std::string& name) {
  browser_state& b = browsers()[browser];
  if (b.search == name) b.search.clear();
  return std::erase_if(b.searches, [&](const browser_search& s) { return s.name == name; }) > 0;
}

}  // namespace host::oli
