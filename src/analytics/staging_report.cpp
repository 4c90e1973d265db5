#include "analytics/staging_report.h"

#include <unordered_map>

#include "analytics/file_outcome.h"
#include "analytics/xhtml.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/ui.h"
#include "host/xml.h"

namespace vtm::analytics {

namespace hl = host::lisp;
namespace oli = host::oli;
using records::component_record;
using records::contents_info;
using records::instance_info;

namespace {

using rows = std::vector<hl::ref>;

const xattribute bordered{"border", "1"};

std::string lines(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view p : parts) text += (text.empty() ? "" : "\n") + std::string(p);
  return text;
}

std::string namestring(const std::filesystem::path& p) {
  return p.empty() ? std::string() : p.generic_string();
}

hl::ref header_row(std::initializer_list<std::string_view> titles) {
  rows cells;
  for (std::string_view t : titles) cells.push_back(xelement("th", {std::string(t)}));
  return xelement("tr", {cells});
}

rows list_items(const std::vector<std::string>& texts) {
  rows items;
  for (const std::string& t : texts) items.push_back(xelement("li", {t}));
  return items;
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

hl::ref model_error_item(const model_status& st, const records::component_records& components) {
  rows parts;
  if (!st.corrupt.empty()) {
    rows table{header_row({"ModelName", "Shares", "Check Result"})};
    for (const component_record& r : components.collect_component_records_by_sysids(st.corrupt)) {
      const auto* c = std::get_if<contents_info>(&r);
      if (!c) continue;
      table.push_back(
          xelement("tr", {xelement("td", {model_name(&r)}),
                          xelement("td", {xelement("ol", {list_items(share_strings(c->shares))})}),
                          xelement("td", {oli::sd_write_to_string(c->check_result.value)})}));
    }
    parts.push_back(xelement("dt", {"Body Check Fails"}));
    parts.push_back(xelement("dd", {xelement("table", {bordered, table})}));
  }
  if (!st.disconnects.empty()) {
    rows table{header_row({"ModelName", "Shares", "Lost Parts/Assemblies"})};
    for (const auto& [owner_sysid, lost_sysid] : st.disconnects) {
      const std::optional<component_record> owner = components.get_component_record_by_sysid(owner_sysid);
      const std::optional<component_record> lost = components.get_component_record_by_sysid(lost_sysid);
      const component_record* o = owner ? &*owner : nullptr;
      table.push_back(xelement(
          "tr",
          {xelement("td", {model_name(o)}), xelement("td", {xelement("ol", {list_items(shares_of(o))})}),
           xelement("td", {xelement("ol", {list_items(shares_of(lost ? &*lost : nullptr))})})}));
    }
    parts.push_back(xelement("dt", {"Lost Parts/Assemblies"}));
    parts.push_back(xelement("dd", {xelement("table", {bordered, table})}));
  }
  return xelement("li", {xattribute{"id", model_status_sysid(st)}, xelement("b", {st.key}),
                         xelement("p", {"Staged as: " + namestring(st.staged)}), xelement("dl", {parts})});
}

void add_errors(const hl::ref& body, const migration_analytics& analytics,
                const records::component_records& components) {
  if (analytics.for_drawings.errors.empty() && analytics.for_models.errors.empty()) return;
  oli::sd_xml_element_add_child(body, xelement("h2", {"Errors"}));
  oli::sd_xml_element_add_child(
      body,
      xelement("p",
               {lines({"It is recommended to address the issues below before checking-in to ModelManager.",
                       " All repairs should be done on the models in the input folder and the preperation "
                       "process should be run again with an empty staging diectory."})}));
  report_drawing_errors(body, analytics.for_drawings);
  report_model_errors(body, analytics.for_models, components);
}

void add_top_level_workplanes(const hl::ref& body, const records::component_records& components) {
  rows table{header_row({"Source File (Input Directory)", "Workplane"})};
  components.for_each_component_record([&](const component_record& r) {
    if (records::component_base(r).typename_ != "nwp") return;
    const auto* i = std::get_if<instance_info>(&r);
    table.push_back(xelement("tr", {xelement("td", {i ? namestring(i->sourcepath) : std::string()}),
                                    xelement("td", {i ? i->name.value_or("") : std::string()})}));
  });
  if (table.size() == 1) return;
  oli::sd_xml_element_add_child(body, xelement("h2", {"Top Level Workplanes"}));
  oli::sd_xml_element_add_child(
      body,
      xelement("p",
               {lines({"Top level Workplanes are excluded from migration!.",
                       "If they need to be migrated move them into new or existing assemblies or containers,",
                       "empty the staging directory and re-start the import preparation process from the "
                       "beginning."})}));
  oli::sd_xml_element_add_child(body, xelement("table", {bordered, table}));
}

// What became of the file, with the host's message of a failed load or save:
// a crash, a failed load, a file no loader takes and a failed save differ
// here even where load method and status look alike.
std::string outcome_text(const records::cad_fileinfo& info) {
  std::string text(cad_file_outcome_name(classify_cad_file(info)));
  if (std::string message = cad_file_outcome_message(info); !message.empty()) text += ": " + message;
  return text;
}

void add_files_processed(const hl::ref& body, const std::filesystem::path& input,
                         const records::cad_file_records& files) {
  rows table{header_row({"Source File (from Input Directory)", "Load Method", "Status",
                         "Drawing (Staging Directory)", "Model(s)", "Outcome"})};
  for (const auto& [key, info] : files.filetable()) {
    std::vector<xitem> models;
    if (!info.models_3d.empty()) {
      rows inner{header_row({"Name", "Staged as"})};
      for (const auto& [name, staged] : info.models_3d)
        inner.push_back(xelement("tr", {xelement("td", {name}), xelement("td", {namestring(staged)})}));
      models.push_back(xelement("table", {inner}));
    }
    table.push_back(xelement(
        "tr",
        {xelement("td", {namestring(records::make_relative_path(input, info.path))}),
         xelement("td",
                  {hl::prin1_to_string(core::lisp_value<records::cad_load_method>::to(info.load_method))}),
         xelement("td",
                  {oli::sd_write_to_string(core::lisp_value<records::load_status>::to(info.error_status))}),
         xelement("td", {namestring(info.drawing)}), xelement("td", models),
         xelement("td", {outcome_text(info)})}));
  }
  oli::sd_xml_element_add_child(body, xelement("h2", {"Files Processed"}));
  oli::sd_xml_element_add_child(body, xelement("table", {bordered, table}));
}

std::optional<std::string> key_sysid(const records::change_key& key) {
  if (const auto* s = std::get_if<std::string>(&key)) return *s;
  if (const auto* k = std::get_if<records::cluster_composite_key>(&key)) return k->sysid;
  return std::nullopt;
}

hl::ref change_row(const records::change_info& c, bool sysid_conflict,
                   const records::component_records& components) {
  const auto* before = std::get_if<records::cluster_composite_key>(&c.key_before);
  std::string staged = "-";
  if (auto sysid = key_sysid(c.key_after))
    if (const std::optional<component_record> r = components.get_component_record_by_sysid(*sysid))
      staged = "models/" + namestring(records::component_base(*r).filename);
  rows diff{header_row({"Key", "Before", "After"})};
  for (const auto& [key, values] : records::change_info_diff(c))
    diff.push_back(
        xelement("tr", {xelement("td", {key}), xelement("td", {oli::sd_write_to_string(hl::car(values))}),
                        xelement("td", {oli::sd_write_to_string(hl::cdr(values))})}));
  std::vector<xitem> cells{
      xelement("td", {before ? before->model_name.value_or("") : std::string()}),
      xelement("td", {oli::sd_write_to_string(core::lisp_value<std::vector<std::string>>::to(c.locations))}),
      xelement("td", {staged}), xelement("td", {xelement("table", {diff})})};
  if (sysid_conflict) {
    std::optional<component_record> r;
    if (auto sysid = key_sysid(c.key_before)) r = components.get_component_record_by_sysid(*sysid);
    if (!r)
      cells.push_back(xelement("td", {"-"}));
    else if (const auto* contents = std::get_if<contents_info>(&*r))
      cells.push_back(xelement("td", {xelement("ul", {list_items(share_strings(contents->shares))})}));
    else
      cells.push_back(xelement(
          "td", {xelement("ul", {xelement("li", {std::get<instance_info>(*r).name.value_or("")})})}));
  }
  return xelement("tr", cells);
}

void add_change_log(const hl::ref& body, const records::change_records& changelog,
                    const records::component_records& components) {
  std::vector<std::string> reasons;  // in the order first met
  std::unordered_map<std::string, std::vector<const records::change_info*>> groups;
  for (const auto& [key, change] : changelog.changes()) {
    auto [it, fresh] = groups.try_emplace(change.reason.name);
    if (fresh) reasons.push_back(change.reason.name);
    it->second.insert(it->second.begin(), &change);  // collected at the front
  }
  rows dl;
  for (const std::string& reason : reasons) {
    const bool conflict = reason == "SYSID-CONFLICT";
    rows table{conflict ? header_row({"Model Name", "Component Path", "Staged as", "Diff", "Conflicted With"})
                        : header_row({"Model Name", "Component Path", "Staged as", "Diff"})};
    for (const records::change_info* c : groups[reason])
      table.push_back(change_row(*c, conflict, components));
    dl.push_back(xelement("dt", {reason}));
    dl.push_back(xelement("dd", {xelement("table", {bordered, table})}));
  }
  oli::sd_xml_element_add_child(body, xelement("h2", {"Change Log"}));
  oli::sd_xml_element_add_child(body, xelement("dl", {dl}));
}

}  // namespace

bool report_drawing_errors(const hl::ref& body, const ami_drawing_analytics& drawing_analytics) {
  rows table_rows =
      map_status_records(drawing_analytics, category::errors, std::nullopt, [](const ami_drawing_status& s) {
        return xelement("tr",
                        {xelement("td", {namestring(s.source)}), xelement("td", {namestring(s.staged)})});
      });
  if (table_rows.empty()) return false;
  oli::sd_xml_element_add_child(body, xelement("h3", {"Drawing Errors"}));
  oli::sd_xml_element_add_child(
      body,
      xelement(
          "dl",
          {xelement("dt", {"Orphaned Drawings"}),
           xelement(
               "dd",
               {xelement("div", {lines({"Annotation drawings which could not be",
                                        "associated with any 3d model were detected. These "
                                        "drawings will be checked in as plain Drafting/ME10 "
                                        "drawings unless",
                                        "you find an associated 3d model and add it to the input "
                                        "directory."}),
                                 xelement("table", {bordered,
                                                    header_row({"Drawing from Input Directory", "Staged as"}),
                                                    table_rows})})})}));
  return true;
}

bool report_model_errors(const hl::ref& body, const model_analytics& model_analytics,
                         const records::component_records& components) {
  rows items;
  for (const auto& [key, st] : model_analytics.errors) items.push_back(model_error_item(st, components));
  if (items.empty()) return false;
  oli::sd_xml_element_add_child(body, xelement("h3", {"Model (3d) Errors"}));
  oli::sd_xml_element_add_child(body, xelement("p", {"Following errors are reported:"}));
  oli::sd_xml_element_add_child(
      body,
      xelement(
          "dl",
          {xelement("dt", {"Body Check Fails"}),
           xelement("dd",
                    {lines({"Parts/Assemblies have topological or geometric errors. While these "
                            "part/assemblies can be",
                            "checked-in but the corruption may cause failures in downstream processes."})}),
           xelement("dt", {"Lost Parts/Assemblies"}),
           xelement("dd",
                    {lines({"These parts assemblies were once connected to a model but were lost when "
                            "Modeling",
                            "connected the model to a different version with the same sysid. This occurs "
                            "when models are modified and saved into different files.",
                            "Once this models are check-in together there are multiple occurences of the "
                            "same structure components linking to different part/assemblie variants."})})}));
  oli::sd_xml_element_add_child(body, xelement("ol", {items}));
  return true;
}

std::string make_staging_report(const std::filesystem::path& input, const std::filesystem::path& staging,
                                const records::cad_file_records& files, const records::ami_drawing_records&,
                                const records::component_records& components,
                                const records::change_records& changelog,
                                const migration_analytics& analytics) {
  // The input's name is shown as the one-element list it is formatted from.
  const std::string listed = "(" + last_directory(input) + ")";
  hl::ref root = make_xdocument();
  oli::sd_xml_element_add_child(root, xelement("head", {xelement("title", {listed + " Staging Report"})}));
  hl::ref body =
      xelement("body", {xelement("h1", {"CAD Files from " + listed + " staged for Model Manager Import"})});
  oli::sd_xml_element_add_child(root, body);
  add_errors(body, analytics, components);
  add_top_level_workplanes(body, components);
  add_files_processed(body, input, files);
  add_change_log(body, changelog, components);
  const std::filesystem::path report = staging / "report.htm";
  save_xdocument(report);
  return report.string();
}

}  // namespace vtm::analytics
