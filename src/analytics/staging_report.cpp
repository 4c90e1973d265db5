#include "analytics/staging_report.h"

#include <unordered_map>

#include "analytics/file_outcome.h"
#include "analytics/staging_status.h"
#include "analytics/xhtml.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/ui.h"

namespace vtm::analytics {

namespace hl = host::lisp;
namespace oli = host::oli;
using records::component_record;
using records::contents_info;
using records::instance_info;

namespace {

const xattribute bordered{"border", "1"};

std::string lines(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view p : parts) text += (text.empty() ? "" : "\n") + std::string(p);
  return text;
}

std::string namestring(const std::filesystem::path& p) {
  return p.empty() ? std::string() : p.generic_string();
}

const std::string& namestring(const records::record_path& p) { return p.string(); }

void header_row(xhtml_stream& x, std::initializer_list<std::string_view> titles) {
  x.open("tr");
  for (std::string_view t : titles) x.element("th", t);
  x.close();
}

void list_items(xhtml_stream& x, const std::vector<std::string>& texts) {
  for (const std::string& t : texts) x.element("li", t);
}

// An element holding the items as a list (ol, ul) in a cell.
void list_cell(xhtml_stream& x, std::string_view list, const std::vector<std::string>& texts) {
  x.open("td");
  x.open(list);
  list_items(x, texts);
  x.close();
  x.close();
}

std::vector<std::string> share_strings(const records::share_list& shares) {
  std::vector<std::string> out;
  for (const records::share& s : shares)
    if (const auto* text = std::get_if<std::string>(&s)) out.push_back(*text);
  return out;
}

std::string model_name(const component_record* r) {
  const auto* c = r ? std::get_if<contents_info>(r) : nullptr;
  return c && c->metakey ? c->metakey->model_name.value_or("") : std::string();
}

// An instance record has no shares of its own: it is shown by its location.
std::vector<std::string> shares_of(const component_record* r) {
  if (!r) return {};
  if (const auto* c = std::get_if<contents_info>(r)) return share_strings(c->shares);
  return {std::get<instance_info>(*r).name.value_or("")};
}

std::string last_directory(const std::filesystem::path& dir) {
  std::string last;
  for (const auto& part : dir)
    if (!part.empty() && part != "/") last = part.string();
  return last;
}

void model_error_item(xhtml_stream& x, const model_status& st, const records::component_records& components) {
  x.open("li", {xattribute{"id", model_status_sysid(st)}});
  x.element("b", st.key);
  x.element("p", "Staged as: " + namestring(st.staged));
  x.open("dl");
  if (!st.corrupt.empty()) {
    x.element("dt", "Body Check Fails");
    x.open("dd");
    x.open("table", {bordered});
    header_row(x, {"ModelName", "Shares", "Check Result"});
    for (const component_record& r : components.collect_component_records_by_sysids(st.corrupt)) {
      const auto* c = std::get_if<contents_info>(&r);
      if (!c) continue;
      x.open("tr");
      x.element("td", model_name(&r));
      list_cell(x, "ol", share_strings(c->shares));
      x.element("td", oli::sd_write_to_string(c->check_result.value));
      x.close();
    }
    x.close();
    x.close();
  }
  if (!st.disconnects.empty()) {
    x.element("dt", "Lost Parts/Assemblies");
    x.open("dd");
    x.open("table", {bordered});
    header_row(x, {"ModelName", "Shares", "Lost Parts/Assemblies"});
    for (const auto& [owner_sysid, lost_sysid] : st.disconnects) {
      const std::optional<component_record> owner = components.get_component_record_by_sysid(owner_sysid);
      const std::optional<component_record> lost = components.get_component_record_by_sysid(lost_sysid);
      const component_record* o = owner ? &*owner : nullptr;
      x.open("tr");
      x.element("td", model_name(o));
      list_cell(x, "ol", shares_of(o));
      list_cell(x, "ol", shares_of(lost ? &*lost : nullptr));
      x.close();
    }
    x.close();
    x.close();
  }
  x.close();
  x.close();
}

void add_errors(xhtml_stream& x, const migration_analytics& analytics,
                const records::component_records& components) {
  if (analytics.for_drawings.errors.empty() && analytics.for_models.errors.empty()) return;
  x.element("h2", "Errors");
  x.element("p", lines({"It is recommended to address the issues below before checking-in to ModelManager.",
                        " All repairs should be done on the models in the input folder and the preperation "
                        "process should be run again with an empty staging diectory."}));
  report_drawing_errors(x, analytics.for_drawings);
  report_model_errors(x, analytics.for_models, components);
}

void add_top_level_workplanes(xhtml_stream& x, const std::vector<std::pair<std::string, std::string>>& rows) {
  if (rows.empty()) return;
  x.element("h2", "Top Level Workplanes");
  x.element("p",
            lines({"Top level Workplanes are excluded from migration!.",
                   "If they need to be migrated move them into new or existing assemblies or containers,",
                   "empty the staging directory and re-start the import preparation process from the "
                   "beginning."}));
  x.open("table", {bordered});
  header_row(x, {"Source File (Input Directory)", "Workplane"});
  for (const auto& [source, name] : rows) {
    x.open("tr");
    x.element("td", source);
    x.element("td", name);
    x.close();
  }
  x.close();
}

// What became of the file, with the host's message of a failed load or save:
// a crash, a failed load, a file no loader takes and a failed save differ
// here even where load method and status look alike.
std::string outcome_text(const records::cad_fileinfo& info) {
  std::string text(cad_file_outcome_name(classify_cad_file(info)));
  if (std::string message = cad_file_outcome_message(info); !message.empty()) text += ": " + message;
  return text;
}

void add_files_processed(xhtml_stream& x, const std::filesystem::path& input,
                         const records::cad_file_records& files) {
  x.element("h2", "Files Processed");
  x.open("table", {bordered});
  header_row(x, {"Source File (from Input Directory)", "Load Method", "Status", "Drawing (Staging Directory)",
                 "Model(s)", "Outcome"});
  for (const auto& [key, info] : files.filetable()) {
    x.open("tr");
    x.element("td", namestring(records::make_relative_path(input, info.path.path())));
    x.element("td", hl::prin1_to_string(core::lisp_value<records::cad_load_method>::to(info.load_method)));
    x.element("td", oli::sd_write_to_string(core::lisp_value<records::load_status>::to(info.error_status)));
    x.element("td", namestring(info.drawing));
    x.open("td");
    if (!info.models_3d.empty()) {
      x.open("table");
      header_row(x, {"Name", "Staged as"});
      for (const auto& [name, staged] : info.models_3d) {
        x.open("tr");
        x.element("td", name);
        x.element("td", namestring(staged));
        x.close();
      }
      x.close();
    }
    x.close();
    x.element("td", outcome_text(info));
    x.close();
  }
  x.close();
}

std::optional<std::string> key_sysid(const records::change_key& key) {
  if (const auto* s = std::get_if<std::string>(&key)) return *s;
  if (const auto* k = std::get_if<records::cluster_composite_key>(&key)) return k->sysid;
  return std::nullopt;
}

void change_row(xhtml_stream& x, const records::change_info& c, bool sysid_conflict,
                const records::component_records& components) {
  const auto* before = std::get_if<records::cluster_composite_key>(&c.key_before);
  std::string staged = "-";
  if (auto sysid = key_sysid(c.key_after))
    if (const std::optional<component_record> r = components.get_component_record_by_sysid(*sysid))
      staged = "models/" + namestring(records::component_base(*r).filename);
  x.open("tr");
  x.element("td", before ? before->model_name.value_or("") : std::string());
  x.element("td", oli::sd_write_to_string(core::lisp_value<std::vector<std::string>>::to(c.locations)));
  x.element("td", staged);
  x.open("td");
  x.open("table");
  header_row(x, {"Key", "Before", "After"});
  for (const auto& [key, values] : records::change_info_diff(c)) {
    x.open("tr");
    x.element("td", key);
    x.element("td", oli::sd_write_to_string(hl::car(values)));
    x.element("td", oli::sd_write_to_string(hl::cdr(values)));
    x.close();
  }
  x.close();
  x.close();
  if (sysid_conflict) {
    std::optional<component_record> r;
    if (auto sysid = key_sysid(c.key_before)) r = components.get_component_record_by_sysid(*sysid);
    if (!r)
      x.element("td", "-");
    else if (const auto* contents = std::get_if<contents_info>(&*r))
      list_cell(x, "ul", share_strings(contents->shares));
    else
      list_cell(x, "ul", {std::get<instance_info>(*r).name.value_or("")});
  }
  x.close();
}

void add_change_log(xhtml_stream& x, const records::change_records& changelog,
                    const records::component_records& components) {
  std::vector<std::string> reasons;  // in the order first met
  std::unordered_map<std::string, std::vector<const records::change_info*>> groups;
  for (const auto& [key, change] : changelog.changes()) {
    auto [it, fresh] = groups.try_emplace(change.reason.name);
    if (fresh) reasons.push_back(change.reason.name);
    it->second.push_back(&change);
  }
  x.element("h2", "Change Log");
  x.open("dl");
  for (const std::string& reason : reasons) {
    const bool conflict = reason == "SYSID-CONFLICT";
    x.element("dt", reason);
    x.open("dd");
    x.open("table", {bordered});
    if (conflict)
      header_row(x, {"Model Name", "Component Path", "Staged as", "Diff", "Conflicted With"});
    else
      header_row(x, {"Model Name", "Component Path", "Staged as", "Diff"});
    // The latest change first.
    const std::vector<const records::change_info*>& group = groups[reason];
    for (auto c = group.rbegin(); c != group.rend(); ++c) change_row(x, **c, conflict, components);
    x.close();
    x.close();
  }
  x.close();
}

}  // namespace

bool report_drawing_errors(xhtml_stream& x, const ami_drawing_analytics& drawing_analytics) {
  if (drawing_analytics.errors.empty()) return false;
  x.element("h3", "Drawing Errors");
  x.open("dl");
  x.element("dt", "Orphaned Drawings");
  x.open("dd");
  x.open("div");
  x.text(lines({"Annotation drawings which could not be",
                "associated with any 3d model were detected. These "
                "drawings will be checked in as plain Drafting/ME10 "
                "drawings unless",
                "you find an associated 3d model and add it to the input "
                "directory."}));
  x.open("table", {bordered});
  header_row(x, {"Drawing from Input Directory", "Staged as"});
  for (const auto& [key, s] : drawing_analytics.errors) {
    x.open("tr");
    x.element("td", namestring(s.source));
    x.element("td", namestring(s.staged));
    x.close();
  }
  x.close();
  x.close();
  x.close();
  x.close();
  return true;
}

bool report_model_errors(xhtml_stream& x, const model_analytics& model_analytics,
                         const records::component_records& components) {
  if (model_analytics.errors.empty()) return false;
  x.element("h3", "Model (3d) Errors");
  x.element("p", "Following errors are reported:");
  x.open("dl");
  x.element("dt", "Body Check Fails");
  x.element("dd", lines({"Parts/Assemblies have topological or geometric errors. While these "
                         "part/assemblies can be",
                         "checked-in but the corruption may cause failures in downstream processes."}));
  x.element("dt", "Lost Parts/Assemblies");
  x.element("dd", lines({"These parts assemblies were once connected to a model but were lost when "
                         "Modeling",
                         "connected the model to a different version with the same sysid. This occurs "
                         "when models are modified and saved into different files.",
                         "Once this models are check-in together there are multiple occurences of the "
                         "same structure components linking to different part/assemblie variants."}));
  x.close();
  x.open("ol");
  for (const auto& [key, st] : model_analytics.errors) model_error_item(x, st, components);
  x.close();
  return true;
}

std::string make_staging_report(const std::filesystem::path& input, const std::filesystem::path& staging,
                                const records::cad_file_records& files, const records::ami_drawing_records&,
                                const records::component_records& components,
                                const records::change_records& changelog,
                                const migration_analytics& analytics) {
  // The input's name is shown as the one-element list it is formatted from.
  const std::string listed = "(" + last_directory(input) + ")";
  const std::filesystem::path report = staging / "report.htm";
  replace_file(report, "report", [&](std::ostream& out) {
    xhtml_stream x(out);
    x.open("head");
    x.element("title", listed + " Staging Report");
    x.close();
    x.open("body");
    x.element("h1", "CAD Files from " + listed + " staged for Model Manager Import");
    add_errors(x, analytics, components);
    add_top_level_workplanes(x, analytics.top_level_workplanes);
    add_files_processed(x, input, files);
    add_change_log(x, changelog, components);
    x.finish();
  });
  return report.string();
}

}  // namespace vtm::analytics
