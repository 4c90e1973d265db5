// Model Manager's comparison of a reference model with a database model or
// another model in session: both trees side by side, position by position
// relative to their tops, with the differences in instance type and
// contents name. The lines stay in the comparison buffer until it is reset.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/dialog_engine.h"
#include "host/clusters.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/mm_compare.h"
#include "host/model_tree.h"
#include "lisp/runtime.h"
#include "session/lisp_def.h"
#include "ui/viewports.h"

namespace {

using namespace host::lisp;

std::vector<std::string>& buffer() {
  static std::vector<std::string> lines;
  return lines;
}

symbol& special(std::string_view package_name, std::string_view name) {
  package& p = require_package(package_name);
  symbol& s = intern(name, p);
  export_symbol(s, p);
  return s;
}

std::string text_or_nil(const ref& value) {
  return stringp(value) ? as_string(value) : prin1_to_string(value);
}

// What a position shows: instance type and contents name.
std::string describe(const ref& position) {
  const ref instance = host::oli::get_instance(position);
  const ref contents = host::oli::get_contents(position);
  std::string d = text_or_nil(host::dsm::entity_name(instance));
  if (!is_nil(contents)) d += " \"" + text_or_nil(host::elan::inquire_name(contents)) + "\"";
  return d;
}

// Relative path name ("" for the top) -> description, for the tree below top.
std::map<std::string, std::string> listing(const ref& top) {
  std::map<std::string, std::string> out;
  const std::string prefix = as_string(host::oli::sd_inq_obj_pathname(top));
  std::vector<ref> work{top};
  while (!work.empty()) {
    const ref node = work.back();
    work.pop_back();
    out[as_string(host::oli::sd_inq_obj_pathname(node)).substr(prefix.size())] = describe(node);
    for (const ref& child : list_to_vector(host::oli::sd_inq_obj_children(node))) work.push_back(child);
  }
  return out;
}

std::vector<std::string> compare(const ref& local, const ref& db) {
  std::vector<std::string> lines{"Comparing " + as_string(host::oli::sd_inq_obj_pathname(local)) + " with " +
                                 as_string(host::oli::sd_inq_obj_pathname(db))};
  const std::map<std::string, std::string> a = listing(local), b = listing(db);
  auto ia = a.begin();
  auto ib = b.begin();
  while (ia != a.end() || ib != b.end()) {
    if (ib == b.end() || (ia != a.end() && ia->first < ib->first)) {
      lines.push_back("  only in the local model: ." + ia->first + " " + ia->second);
      ++ia;
    } else if (ia == a.end() || ib->first < ia->first) {
      lines.push_back("  only in the compared model: ." + ib->first + " " + ib->second);
      ++ib;
    } else {
      if (ia->second != ib->second)
        lines.push_back("  differs: ." + ia->first + " " + ia->second + " / " + ib->second);
      ++ia;
      ++ib;
    }
  }
  const std::size_t differences = lines.size() - 1;
  lines.push_back("  " + std::to_string(differences) + (differences == 1 ? " difference" : " differences"));
  return lines;
}

const builtins_registration compare_functions([] {
  defvar(host::modelmanager::local_model_variable(), nil());
  defvar(host::modelmanager::local_model_path_variable(), nil());
  defvar(host::modelmanager::db_model_variable(), nil());
  defvar(host::modelmanager::db_model_path_variable(), nil());
  defvar(host::cl_user::db_aip_ui_last_load_result_variable(), nil());
  sim::define_host_function("MODELMANAGER", "RESET-MODEL-BUFFER", 0, 0, [](args_t) {
    host::modelmanager::reset_model_buffer();
    return nil();
  });
  sim::define_host_function("MODELMANAGER", "GET-LOADTYPE-FOR-COMPARE", 1, 1,
                            [](args_t a) { return host::modelmanager::get_loadtype_for_compare(a[0]); });
  sim::define_host_function("MODELMANAGER", "CR-COMPARE-MODELS-CALLBACK", 0, any_count, [](args_t) {
    host::modelmanager::cr_compare_models_callback();
    return t();
  });
  sim::define_console_function("SDSIM", "MM-COMPARISON", 0, 0, [](args_t) {
    std::vector<ref> lines;
    for (const std::string& l : buffer()) lines.push_back(make_string(l));
    return list_from(lines);
  });
});

}  // namespace

namespace host::modelmanager {

symbol& local_model_variable() { return special("MODELMANAGER", "*LOCAL-MODEL*"); }
symbol& local_model_path_variable() { return special("MODELMANAGER", "*LOCAL-MODEL-PATH*"); }
symbol& db_model_variable() { return special("MODELMANAGER", "*DB-MODEL*"); }
symbol& db_model_path_variable() { return special("MODELMANAGER", "*DB-MODEL-PATH*"); }

void reset_model_buffer() {
  buffer().clear();
  set_symbol_value(local_model_variable(), nil());
  set_symbol_value(local_model_path_variable(), nil());
  set_symbol_value(db_model_variable(), nil());
  set_symbol_value(db_model_path_variable(), nil());
}

ref get_loadtype_for_compare(const ref& model) {
  const ref type = host::dsm::entity_name(host::oli::get_instance(model));
  const std::string t = stringp(type) ? as_string(type) : "";
  return make_string(t == "npart3" ? "PART" : t == "nasmb3" ? "ASSEMBLY" : "ALL");
}

void cr_compare_models_callback() {
  const ref local = symbol_value(local_model_variable());
  ref db = symbol_value(db_model_variable());
  if (is_nil(db)) {
    const ref loaded = symbol_value(host::cl_user::db_aip_ui_last_load_result_variable());
    if (consp(loaded)) {
      db = car(loaded);
      set_symbol_value(db_model_variable(), db);
      set_symbol_value(db_model_path_variable(), host::oli::sd_inq_obj_pathname(db));
    }
  }
  if (!host::elan::sel_item_p(local) || !host::elan::sel_item_p(db)) {
    buffer() = {"Nothing to compare: the local model is " + prin1_to_string(local) + ", the compared model " +
                prin1_to_string(db)};
  } else {
    buffer() = compare(local, db);
    sim::ui::open_comparison_viewports({local, db});
  }
  for (const std::string& line : buffer()) standard_output() << line << "\n";
  // The comparison is Model Manager's own window: the dialog running now ends.
  sim::dialogs::end_after_input();
}

std::vector<std::string> comparison_buffer() { return buffer(); }

}  // namespace host::modelmanager

namespace host::cl_user {
symbol& db_aip_ui_last_load_result_variable() {
  return intern("*DB-AIP-UI-LAST-LOAD-RESULT*", host::lisp::user_package());
}
}  // namespace host::cl_user
