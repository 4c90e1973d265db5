// The viewports (host/viewports.h). A viewport draws every top-level model
// until a draw list is set; `show viewports` prints what each draws. A
// comparison opens one viewport per compared model (open_comparison_viewports).
#include "host/viewports.h"

#include <algorithm>
#include <vector>

#include "host/console.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/model_tree.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"
#include "session/paths.h"
#include "ui/viewports.h"

namespace {

using namespace host::lisp;

struct viewport {
  std::string name;
  bool comparison = false;
  std::optional<std::vector<ref>> drawlist;  // model paths; nullopt: everything
  int fits = 0;
};

struct viewports_state {
  std::vector<viewport> all{viewport{"1", false, std::nullopt, 0}};
  std::string current = "1";
};

viewports_state& state() {
  static viewports_state s;
  return s;
}

viewport& require_viewport(const ref& name) {
  const std::string wanted = string_designator(name);
  for (viewport& v : state().all)
    if (v.name == wanted) return v;
  sim::host_command_failed("ELAN-UI", "UNKNOWN-VIEWPORT", "There is no viewport " + wanted + ".");
}

std::string path_text(const ref& path) {
  ref name = host::oli::sd_inq_obj_pathname(path);
  return stringp(name) ? as_string(name) : prin1_to_string(path);
}

void show_viewports() {
  auto& out = standard_output();
  out << "Viewports:\n";
  for (const viewport& v : state().all) {
    out << "  " << v.name << (v.name == state().current ? " (current)" : "")
        << (v.comparison ? " comparison" : "") << ", fitted " << v.fits << " times, draws ";
    if (!v.drawlist) {
      out << "everything\n";
      continue;
    }
    std::string paths;
    for (const ref& p : *v.drawlist) paths += (paths.empty() ? "" : " ") + path_text(p);
    out << (paths.empty() ? "nothing" : paths) << '\n';
  }
}

const builtins_registration viewport_functions([] {
  sim::define_console_function("OLI", "SD-INQ-CURRENT-VP", 0, 0,
                               [](args_t) { return host::oli::sd_inq_current_vp(); });
  sim::define_host_function("ELAN-UI", "SET_VP_DRAWLIST", 2, 2, [](args_t a) {
    host::elan_ui::set_vp_drawlist(a[0], a[1]);
    return t();
  });
  sim::define_host_function("FRAME2-UI", "FIT_VP", 1, 1, [](args_t a) {
    host::frame2_ui::fit_vp(a[0]);
    return t();
  });
  sim::define_host_function("MODELMANAGER", "DB-COMPARE-DELETE-VIEWPORTS", 0, 0, [](args_t) {
    host::modelmanager::db_compare_delete_viewports();
    return t();
  });
  sim::define_host_function("MODELMANAGER", "DB-COMPARE-UPDATE-STANDARD-VIEWPORT", 0, 0, [](args_t) {
    host::modelmanager::db_compare_update_standard_viewport();
    return t();
  });
  sim::register_show_topic("VIEWPORTS", show_viewports);
});

}  // namespace

namespace sim::ui {

void open_comparison_viewports(const std::vector<ref>& models) {
  host::modelmanager::db_compare_delete_viewports();
  int n = 0;
  for (const ref& m : models) {
    viewport v{"Compare " + std::to_string(++n), true, std::vector<ref>{m}, 1};
    state().all.push_back(std::move(v));
  }
  if (n) state().current = state().all.back().name;
}

}  // namespace sim::ui

namespace host::oli {
ref sd_inq_current_vp() { return make_string(state().current); }
}  // namespace host::oli

namespace host::elan_ui {
void set_vp_drawlist(const ref& viewport_name, const ref& paths) {
  viewport& v = require_viewport(viewport_name);
  if (is_nil(paths)) {
    v.drawlist.reset();
    return;
  }
  std::vector<ref> list = list_to_vector(paths);
  for (const ref& p : list) {
    std::optional<sim::session::position> at = sim::session::position_of(p);
    if (!at || !sim::session::position_in_session(*at))
      sim::host_command_failed("ELAN-UI", "NOT-IN-SESSION",
                               "Nothing in session at " + prin1_to_string(p) + ".");
  }
  v.drawlist = std::move(list);
}
}  // namespace host::elan_ui

namespace host::frame2_ui {
void fit_vp(const ref& viewport_name) { ++require_viewport(viewport_name).fits; }
}  // namespace host::frame2_ui

namespace host::modelmanager {

void db_compare_delete_viewports() {
  viewports_state& s = state();
  std::erase_if(s.all, [](const viewport& v) { return v.comparison; });
  if (std::none_of(s.all.begin(), s.all.end(), [&](const viewport& v) { return v.name == s.current; }))
    s.current = "1";
}

void db_compare_update_standard_viewport() {
  viewport& standard = require_viewport(make_string("1"));
  standard.drawlist.reset();
  ++standard.fits;
  state().current = "1";
}

}  // namespace host::modelmanager
