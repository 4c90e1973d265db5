#include "drawings/drawing_associator.h"

#include <algorithm>
#include <thread>

#include "analytics/staging_outputs.h"
#include "core/module_env.h"
#include "core/run_progress.h"
#include "drawings/warning_interceptor.h"
#include "host/command_errors.h"
#include "host/dialogs.h"
#include "host/drawings.h"
#include "host/files.h"
#include "host/interrupts.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/printer.h"
#include "host/lisp/streams.h"
#include "host/programs.h"
#include "host/progress.h"
#include "host/run_outcome.h"
#include "host/ui.h"
#include "host/undo.h"
#include "host/xml.h"
#include "records/staging_layout.h"

namespace vtm::drawings {

namespace hl = host::lisp;
namespace oli = host::oli;

namespace {

constexpr const char* dialog_name = "VANTREL_DRAWING_ASSOCIATOR";

hl::package& main_package() { return hl::require_package("VANTREL-MIGRATOR"); }
hl::symbol& pbpub() { return hl::intern("*PBPUB*", main_package()); }
hl::symbol& restart_threshold() { return hl::intern("*ANNOTATION-RESTART-THRESHOLD*", main_package()); }

std::filesystem::path temp_dir() { return hl::as_string(oli::sd_inq_temp_dir()); }

// Annotation again from scratch: a long run stays stable.
void restart_annotation() {
  host::docu::am_drawing_delete();
  oli::sd_deactivate_module("ANNOTATION");
  oli::sd_activate_module("ANNOTATION");
  oli::sd_switch_application("Annotation");
}

// A host command whose failure is shown and does not stop the run.
template <class F>
void shown_on_failure(F&& command) {
  try {
    command();
  } catch (const hl::lisp_error& e) {
    host::frame2::display_error(hl::truthy(oli::sd_inq_error_obj()) ? oli::sd_inq_error_obj()
                                                                    : hl::make_string(e.message()));
    host::system::reset_lisp_error_active();
  }
}

// The dialog's model checkpoint, taken at its start.
hl::ref& checkpoint() {
  static hl::ref c;
  return c;
}

void return_to_checkpoint() {
  if (hl::is_nil(checkpoint())) return;
  oli::sd_return_to_model_checkpoint(checkpoint());
  host::dsm::rm_future(host::k2::k2_state_manager());
  checkpoint() = hl::nil();
}

std::string help_url() {
  hl::pathname_parts home;
  home.directory = hl::list_to_vector(hl::symbol_value(hl::intern("+HOME+", main_package())));
  std::string dir = hl::namestring(home);
  if (!dir.empty() && dir.front() == '/') dir.erase(0, 1);
  return "file:///" + dir + "DrawingAssociator.pdf";
}

}  // namespace

namespace {

// The instance sysids of a dump, in reverse document order.
std::vector<std::string> sysids_of_dump(const hl::ref& doc) {
  std::vector<std::string> sysids;
  if (hl::truthy(doc))
    if (hl::ref root = oli::sd_xml_document_root(doc); hl::truthy(root))
      for (const hl::ref& cluster : oli::sd_xml_element_children(root, "cluster"))
        for (const hl::ref& reference : oli::sd_xml_element_children(cluster, "reference"))
          for (const hl::ref& source : oli::sd_xml_element_children(reference, "source_cluster"))
            if (hl::ref sysid = oli::sd_xml_element_attribute(source, "sysid"); hl::truthy(sysid))
              sysids.push_back(hl::as_string(sysid));
  std::reverse(sysids.begin(), sysids.end());
  oli::sd_xml_clear_cache();
  return sysids;
}

std::vector<std::string> dump_command(const hl::ref& program, const std::filesystem::path& modelpath) {
  return {hl::namestring(program), "-S", "-i", modelpath.string()};
}

void no_dump(const std::filesystem::path& modelpath) {
  hl::standard_output() << "No XML for " << modelpath.string() << "\n";
}

}  // namespace

std::vector<std::string> get_model_sysids(const std::filesystem::path& modelpath) {
  if (!std::filesystem::exists(modelpath)) return {};
  const hl::ref program = hl::symbol_value(pbpub());
  const std::filesystem::path dump = temp_dir() / (modelpath.filename().string() + ".xml");
  std::error_code ec;
  std::filesystem::remove(dump, ec);
  if (hl::truthy(program)) host::system::run_program(dump_command(program, modelpath), dump);
  if (!std::filesystem::exists(dump) || std::filesystem::file_size(dump, ec) == 0) {
    std::filesystem::remove(dump, ec);
    no_dump(modelpath);
    return {};
  }
  std::vector<std::string> sysids = sysids_of_dump(oli::sd_xml_read_file(dump.string()));
  std::filesystem::remove(dump, ec);
  return sysids;
}

std::vector<std::vector<std::string>> get_model_sysids(const std::vector<std::filesystem::path>& modelpaths) {
  std::vector<std::vector<std::string>> sysids(modelpaths.size());
  const hl::ref program = hl::symbol_value(pbpub());
  std::vector<std::size_t> dumped;
  std::vector<std::vector<std::string>> commands;
  for (std::size_t i = 0; i < modelpaths.size(); ++i) {
    if (!std::filesystem::exists(modelpaths[i])) continue;
    dumped.push_back(i);
    if (hl::truthy(program)) commands.push_back(dump_command(program, modelpaths[i]));
  }
  std::vector<host::system::program_output> dumps =
      host::system::run_programs_for_output(commands, std::max(1u, std::thread::hardware_concurrency()));
  // Ctrl-C reaches the dump programs as well as the host: the models whose
  // dumps it cut short must not enter the maps without their sysids.
  if (const int sig = host::system::interrupt_signal()) throw association_interrupted(sig);
  dumps.resize(dumped.size());
  for (std::size_t k = 0; k < dumped.size(); ++k) {
    if (dumps[k].output.empty())
      no_dump(modelpaths[dumped[k]]);
    else
      sysids[dumped[k]] = sysids_of_dump(oli::sd_xml_read_string(dumps[k].output));
  }
  return sysids;
}

std::optional<drawing_owners> get_drawing_owners(const std::filesystem::path& path) {
  if (!std::filesystem::exists(path)) return std::nullopt;
  host::docu::am_drawing_delete();
  try {
    host::docu::am_load_any_mi(path.string(), false);
  } catch (const hl::lisp_error&) {
    drawing_owners failed{{}, oli::sd_inq_error_obj()};
    host::system::reset_lisp_error_active();
    return failed;
  }
  drawing_owners owners{{}, hl::make_string("SUCCESS")};
  for (const hl::ref& entry : hl::list_to_vector(oli::sd_am_inq_all_3d_owners())) {
    const hl::ref sysid = hl::car(hl::cdr(entry));
    if (!hl::stringp(sysid)) continue;
    const std::string& s = hl::as_string(sysid);
    if (std::find(owners.sysids.begin(), owners.sysids.end(), s) == owners.sysids.end())
      owners.sysids.push_back(s);
  }
  return owners;
}

namespace {

// What the run can check before it scans the models and loads drawings:
// the master list's columns, and that the output list is another file.
void check_lists(const std::filesystem::path& input_csv, const std::filesystem::path& output_csv) {
  if (const std::vector<std::string> missing = missing_extraction_columns(input_csv); !missing.empty()) {
    std::string names;
    for (const std::string& m : missing) names += (names.empty() ? "" : ", ") + m;
    hl::simple_error("The extraction list " + input_csv.string() + " lacks the column" +
                     (missing.size() > 1 ? "s " : " ") + names + ".");
  }
  // The same file also under another name; an output list not yet created
  // is compared by its resolved path.
  std::error_code ec, input_ec, output_ec;
  const std::filesystem::path input = std::filesystem::weakly_canonical(input_csv, input_ec);
  if (std::filesystem::equivalent(input_csv, output_csv, ec) ||
      (!input_ec && input == std::filesystem::weakly_canonical(output_csv, output_ec) && !output_ec))
    hl::simple_error("The drawing association list " + output_csv.string() +
                     " is the extraction list itself; choose another file.");
}

// The association list lies in a staging directory when the team keeps it
// there; its status then shows the run too.
void print_association_summary(const std::filesystem::path& output_csv, const std::string& headline,
                               std::int64_t drawings, std::int64_t before) {
  const std::filesystem::path dir = output_csv.parent_path();
  const std::vector<std::pair<std::string, std::int64_t>> this_run{{"drawings associated", drawings},
                                                                   {"listed by earlier runs", before}};
  std::ostream& out = hl::standard_output();
  if (!std::filesystem::exists(dir / records::toc_file)) {
    out << headline << " This run: " << drawings << " drawings associated, " << before
        << " listed by earlier runs.\nAssociation list: " << output_csv.string() << "\n"
        << std::flush;
    return;
  }
  if (const auto status = analytics::try_refresh_staging_status(dir, "drawing-association"))
    analytics::print_run_summary(
        out, headline, this_run, *status, dir,
        "check the lines of " + output_csv.string() + " that do not end in \"SUCCESS\"");
}

}  // namespace

hl::ref run_drawing_association(const std::filesystem::path& input_list,
                                const std::filesystem::path& output_list,
                                const association_options& options) {
  // The run changes the working directory: lists given relative to the one
  // it started in must keep meaning the same files.
  const std::filesystem::path input_csv = std::filesystem::absolute(input_list);
  const std::filesystem::path output_csv = std::filesystem::absolute(output_list);
  check_lists(input_csv, output_csv);
  const std::vector<extraction_record> records = read_csv(input_csv);
  // Opened before the long scan of the models, so that a list that cannot
  // be written, or that another run writes, is reported at once.
  association_list list(output_csv);
  // Drawings or models left unread are the user's to look into.
  bool unread = list.completed_fatal_error();

  const hl::ref bar = host::frame2::create_progress_bar("Drawing Associator");
  extraction_scan scan;
  scan.model_sysids = [](const std::vector<std::filesystem::path>& files) { return get_model_sysids(files); };
  scan.set_progress_maximum = [&](std::size_t max) {
    host::frame2::set_progress_bar_maximum(bar, std::int64_t(max));
  };
  std::int64_t scanned = 0;
  scan.advance_progress = [&] {
    ++scanned;
    host::frame2::add_progress_bar_ticks(bar, 1);
  };
  scan.outside_folder = [&](const extraction_record& model, const std::filesystem::path& file) {
    hl::standard_output() << "The model file " << file.string() << " of " << get_record_id(model)
                          << " lies outside the extraction folder and is not read.\n";
    unread = true;
  };
  const std::filesystem::path base = input_csv.parent_path() / "files";
  extraction_maps maps;
  try {
    maps = make_extraction_maps(base, records, scan);
  } catch (const association_interrupted& e) {
    // Nothing was associated: the list holds what it held.
    host::frame2::finalize_progress_bar(bar);
    list.close();
    hl::standard_output() << "The drawing association was interrupted (" << e.what()
                          << ") while the models were scanned; a rerun carries on from there.\n"
                          << std::flush;
    return hl::nil();
  }

  shown_on_failure([] { host::ui::uic_reset_session(true); });
  oli::sd_switch_application("Annotation");

  const std::filesystem::path output_dir = output_csv.parent_path();
  const std::filesystem::path import_log = output_dir / "log";
  // The scan's bar ends at the models scanned; the drawings get their own,
  // with their pace.
  host::frame2::set_progress_bar_maximum(bar, scanned);
  const hl::ref result = host::frame2::finalize_progress_bar(bar);
  std::int64_t before = 0;
  for (const extraction_record* drawing : maps.drawings) before += list.done(get_record_id(*drawing)) ? 1 : 0;
  host::frame2_ui::sd_set_current_working_directory(output_dir.string() + "/");
  warning_interception interception;

  const std::int64_t threshold = hl::as_integer(hl::symbol_value(restart_threshold()));
  std::int64_t running = 0, associated = 0;
  bool interrupted = false;
  {
    core::run_progress progress("Drawing association", std::int64_t(maps.drawings.size()), before);
    for (const extraction_record* drawing : maps.drawings) {
      const std::string id = get_record_id(*drawing);
      if (list.done(id)) continue;
      // Before the drawing's line is begun, so that a rerun takes it up.
      if (const int sig = host::system::interrupt_signal()) {
        hl::standard_output() << "The drawing association was interrupted (signal " << sig << ") before "
                              << id << "; a rerun carries on from there.\n";
        interrupted = true;
        break;
      }
      if (threshold > 0 && ++running % threshold == 0) restart_annotation();
      progress.working_on(id);
      list.begin_drawing(id);
      const std::filesystem::path file = make_record_fullpath(base, *drawing);
      if (!inside_extraction_folder(base, file)) {
        list.write_ending(outside_folder_ending(*drawing));
        unread = true;
      } else {
        std::optional<drawing_owners> owners = get_drawing_owners(file);
        if (!owners || !owners->loaded()) unread = true;
        write_drawing_associations(list, maps, *drawing, owners ? *owners : drawing_owners{{}, hl::nil()},
                                   options.by_name, options.by_partnumber, import_log, temp_dir());
      }
      progress.tick();
    }
    associated = progress.done_now();
  }
  list.close();
  if (unread) host::system::note_incomplete_run();
  print_association_summary(output_csv,
                            interrupted ? "Drawing association stopped." : "Drawing association finished.",
                            associated, before);
  return result;
}

void define_drawing_associator() {
  hl::package& p = main_package();
  hl::defvar(pbpub(), host::frame2::find_executable("pb_pub"));
  hl::symbol& threshold = restart_threshold();
  hl::defvar(threshold, hl::make_integer(1000));

  hl::defun("GET-MODEL-SYSIDS", p, [](hl::args_t args) {
    hl::check_argument_count("GET-MODEL-SYSIDS", args, 1, 1);
    std::vector<hl::ref> out;
    for (const std::string& s : get_model_sysids(hl::to_path(args[0]))) out.push_back(hl::make_string(s));
    return hl::list_from(out);
  });
  hl::defun("GET-DRAWING-OWNERS", p, [](hl::args_t args) {
    hl::check_argument_count("GET-DRAWING-OWNERS", args, 1, 1);
    std::optional<drawing_owners> o = get_drawing_owners(hl::to_path(args[0]));
    if (!o) return hl::nil();
    std::vector<hl::ref> sysids;
    for (const std::string& s : o->sysids) sysids.push_back(hl::make_string(s));
    return hl::list({hl::list_from(sysids), o->status});
  });
  hl::defun(".SHOW-DRAWING-ASSOCIATOR-HELP.", p, [](hl::args_t args) {
    hl::check_argument_count(".SHOW-DRAWING-ASSOCIATOR-HELP.", args, 0, 0);
    return oli::sd_display_url(help_url());
  });

  namespace dlg = host::dialogs;
  dlg::dialog_def d;
  d.name = dialog_name;
  d.title = "Associate Drawings with 3D Models";
  d.toolbox_title = d.title;
  d.precondition = []() -> std::optional<std::string> {
    if (host::pers::check_module("ANNOTATION")) return std::nullopt;
    return std::string("The module ANNOTATION must be active for ") + dialog_name + ".";
  };
  dlg::variable_def input;
  input.name = "INPUT_CSV";
  input.title = "Extraction List";
  input.kind = dlg::value_kind::file_name;
  input.direction = dlg::file_direction::input;
  input.must = true;
  input.ui = hl::list({hl::ref(&hl::keyword("PROMPT-TEXT")),
                       hl::make_string("Choose the csv file containing the master extraction list"),
                       hl::ref(&hl::keyword("FILE-TYPE")), hl::ref(&hl::keyword("CSV"))});
  dlg::variable_def output;
  output.name = "OUTPUT_CSV";
  output.title = "Drawing Associations";
  output.kind = dlg::value_kind::file_name;
  output.direction = dlg::file_direction::output;
  // An existing list is resumed, never overwritten: say so.
  output.after_input = [](dlg::dialog_context&, const hl::ref& value) {
    if (!hl::stringp(value) || hl::as_string(value).empty()) return;
    std::error_code ec;
    if (std::filesystem::is_regular_file(hl::as_string(value), ec))
      hl::standard_output() << "The drawing association list " << hl::as_string(value)
                            << " exists; the run resumes it.\n";
  };
  output.must = true;
  output.ui = hl::list({hl::ref(&hl::keyword("PROMPT-TEXT")),
                        hl::make_string("Choose csv file for the drawing associations"),
                        hl::ref(&hl::keyword("FILE-TYPE")), hl::ref(&hl::keyword("CSV"))});
  dlg::variable_def matching;
  matching.name = "METADATA_MATCHING";
  matching.title = "Metadata Matching";
  matching.kind = dlg::value_kind::subtitle;
  matching.input = false;
  dlg::variable_def by_name;
  by_name.name = "BY_NAME";
  by_name.title = "By Name";
  by_name.kind = dlg::value_kind::boolean;
  by_name.initial = hl::t();
  dlg::variable_def by_partnumber = by_name;
  by_partnumber.name = "BY_PARTNUMBER";
  by_partnumber.title = "By Part Number";
  d.variables = {input, output, matching, by_name, by_partnumber};

  d.on_start = [](dlg::dialog_context& c) {
    checkpoint() = oli::sd_set_model_checkpoint();
    c.set_value("BY_NAME", hl::t());
    c.set_value("BY_PARTNUMBER", hl::t());
  };
  d.ok = [](dlg::dialog_context& c) {
    if (!c.run_before_ok()) {
      c.stay_open();
      return;
    }
    checkpoint() = hl::nil();
    c.set_result(run_drawing_association(
        hl::to_path(c.value("INPUT_CSV")), hl::to_path(c.value("OUTPUT_CSV")),
        {core::toggle_on(c.value("BY_NAME")), core::toggle_on(c.value("BY_PARTNUMBER"))}));
    c.run_after_ok();
  };
  d.cancel = [](dlg::dialog_context& c) {
    hl::print(hl::make_string("Cancel"), hl::standard_output());
    c.set_result(hl::ref(&hl::keyword("CANCEL")));
    uninstall_warning_interceptor();
    return_to_checkpoint();
  };
  d.help = [](dlg::dialog_context&) { oli::sd_display_url(help_url()); };
  dlg::define_dialog(std::move(d), p.name);
}

}  // namespace vtm::drawings
