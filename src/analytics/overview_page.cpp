#include "analytics/overview_page.h"

#include <utf8.h>

#include <cstdio>
#include <functional>
#include <ostream>

#include "analytics/json_text.h"

namespace vtm::analytics {

namespace {

// Text as it may stand in an element or an attribute value: valid UTF-8,
// the characters special in XML escaped, and control characters that XML
// cannot hold replaced.
std::string esc(const std::string& raw) {
  std::string text = utf8::replace_invalid(raw);
  std::string out;
  out.reserve(text.size());
  for (char c : text) switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n')
          out += "\xEF\xBF\xBD";
        else
          out += c;
    }
  return out;
}

std::string link(const std::string& path) {
  if (path.empty()) return "";
  return "<a href=\"" + esc(path_url(path)) + "\">" + esc(path) + "</a>";
}

std::string share(std::int64_t n, std::int64_t whole) {
  if (whole <= 0) return "";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%", 100.0 * double(n) / double(whole));
  return text;
}

std::string joined(const std::vector<std::string>& items, const std::string& sep = ", ") {
  std::string out;
  for (const std::string& s : items) out += (out.empty() ? "" : sep) + s;
  return out;
}

// Rows as a script element's text: JSON with <, > and & escaped, so that it
// can neither end the element nor upset an XML reader.
void write_script_text(std::ostream& out, std::string_view text) {
  std::size_t from = 0;
  for (std::size_t at; (at = text.find_first_of("<>&", from)) != std::string_view::npos; from = at + 1) {
    out.write(text.data() + from, std::streamsize(at - from));
    out << (text[at] == '<' ? "\\u003c" : text[at] == '>' ? "\\u003e" : "\\u0026");
  }
  out.write(text.data() + from, std::streamsize(text.size() - from));
}

// A link cell: {"h": href, "t": text}, or "" without a path.
struct link_cell {
  const std::string& path;
};
link_cell jlink(const std::string& path) { return {path}; }

void append_link(std::string& out, const link_cell& l) {
  if (l.path.empty()) {
    out += "\"\"";
    return;
  }
  out += "{\"h\":";
  append_json_string(out, path_url(l.path));
  out += ",\"t\":";
  append_json_string(out,
                     utf8::is_valid(l.path.begin(), l.path.end()) ? l.path : utf8::replace_invalid(l.path));
  out += '}';
}

// The rows of a table, an array of rows written one row at a time as
// compact JSON: each row an array of cells, each a text, a number, a link or
// an array of links. row() starts a row, cell() adds to it.
class rows_t {
 public:
  explicit rows_t(std::ostream& out) : out_(out) { out_ << '['; }
  void row() {
    flush();
    row_ = '[';
    held_ = true;
  }
  // Before a cell: the text of the row so far, to add the cell to.
  std::string& next_cell() {
    if (row_.size() > 1) row_ += ',';
    return row_;
  }
  void finish() {
    flush();
    out_ << ']';
  }

 private:
  void flush() {
    if (!held_) return;
    if (!first_) out_ << ',';
    row_ += ']';
    write_script_text(out_, row_);
    first_ = false;
    held_ = false;
  }

  std::ostream& out_;
  std::string row_;
  bool held_ = false;
  bool first_ = true;
};

void cell(rows_t& rows, std::string_view text) { append_json_string(rows.next_cell(), text); }
void cell(rows_t& rows, std::size_t n) { rows.next_cell() += std::to_string(n); }
void cell(rows_t& rows, const link_cell& l) { append_link(rows.next_cell(), l); }
void cell(rows_t& rows, const std::vector<std::string>& paths) {
  std::string& out = rows.next_cell();
  out += '[';
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) out += ',';
    append_link(out, jlink(paths[i]));
  }
  out += ']';
}
// The source file as a link when it is known, else the source as a text.
void source_cell(rows_t& rows, const std::string& source_file, const std::string& source) {
  if (source_file.empty())
    cell(rows, source);
  else
    cell(rows, jlink(source_file));
}

// One section: a collapsed table, with its count in the title. id names the
// count the rows stand behind (files-crashed, ...). The rows travel as JSON
// that is read and made into table rows only when the section is opened, so
// that a page of many thousand rows loads at once.
class page {
 public:
  explicit page(std::ostream& o) : out(o) {}
  std::ostream& out;

  void section(const std::string& id, const std::string& title, const std::string& what,
               const std::vector<std::string>& headers, std::int64_t rows_count,
               const std::function<void(rows_t&)>& rows) {
    out << "<details class=\"section\" id=\"" << id << "\"><summary><span class=\"title\">" << esc(title)
        << "</span> <span class=\"n\" data-count=\"" << id << "\">" << rows_count << "</span></summary>\n"
        << "<p class=\"what\">" << esc(what) << "</p>\n";
    if (rows_count == 0) {
      out << "<p class=\"none\">None.</p></details>\n";
      return;
    }
    out << "<input class=\"filter\" type=\"search\" placeholder=\"Filter rows\" aria-label=\"Filter "
        << esc(title) << "\"/>\n<table class=\"list\" data-rows-for=\"" << id << "\"><thead><tr>";
    for (const std::string& h : headers) out << "<th>" << esc(h) << "</th>";
    out << "</tr></thead><tbody></tbody></table>\n<script type=\"application/json\" id=\"rows-" << id
        << "\">";
    rows_t r(out);
    rows(r);
    r.finish();
    out << "</script></details>\n";
  }
};

constexpr const char* style = R"(
body{font-family:system-ui,sans-serif;margin:1.5em;color:#222}
h1{font-size:1.4em;margin-bottom:.2em}
.meta{color:#555;margin-top:0}
table{border-collapse:collapse;margin:.5em 0}
td,th{border:1px solid #bbb;padding:.2em .5em;text-align:left;vertical-align:top}
th{background:#eee;cursor:pointer;user-select:none}
th.asc::after{content:" \25B2"}th.desc::after{content:" \25BC"}
table.summary td.count,table.summary td.share{text-align:right}
tr.zero td{color:#999}
tr.bad td.count{color:#b00;font-weight:bold}
details.section{margin:.6em 0;border:1px solid #ddd;padding:.3em .6em}
details.section summary{cursor:pointer;font-weight:bold}
.n{background:#555;color:#fff;border-radius:.8em;padding:0 .5em;font-size:.9em}
.what{color:#555;margin:.3em 0}
.filter{margin:.3em 0;width:20em}
)";

// Tables are filled when their section opens; sorting (numbers as numbers)
// and filtering work on the rows' data, then fill the table again.
constexpr const char* script = R"(
(function () {
  'use strict';
  function text(c) {
    if (c === null || c === undefined) return '';
    if (Array.isArray(c)) return c.map(text).join(' ');
    return typeof c === 'object' ? c.t : String(c);
  }
  function fillCell(td, c) {
    if (Array.isArray(c)) {
      c.forEach(function (x, i) { if (i) td.appendChild(document.createTextNode(' ')); fillCell(td, x); });
    } else if (c !== null && typeof c === 'object') {
      var a = document.createElement('a');
      a.href = c.h;
      a.textContent = c.t;
      td.appendChild(a);
    } else {
      td.appendChild(document.createTextNode(text(c)));
    }
  }
  function setUp(table) {
    var id = table.getAttribute('data-rows-for');
    var all = null;
    var state = { view: null, column: -1, asc: true, filled: false };
    function rows() {
      if (all === null) {
        all = JSON.parse(document.getElementById('rows-' + id).textContent);
        state.view = all;
        var n = document.querySelector('[data-count="' + id + '"]');
        if (n) n.setAttribute('data-rows', String(all.length));
      }
      return all;
    }
    function fill() {
      rows();
      var body = table.tBodies[0], frag = document.createDocumentFragment();
      state.view.forEach(function (row) {
        var tr = document.createElement('tr');
        row.forEach(function (c) { var td = document.createElement('td'); fillCell(td, c); tr.appendChild(td); });
        frag.appendChild(tr);
      });
      body.textContent = '';
      body.appendChild(frag);
      state.filled = true;
    }
    function sort() {
      var i = state.column;
      if (i < 0) return;
      state.view.sort(function (a, b) {
        var x = text(a[i]), y = text(b[i]), nx = Number(x), ny = Number(y);
        var r = (x !== '' && y !== '' && !isNaN(nx) && !isNaN(ny)) ? nx - ny : x.localeCompare(y);
        return state.asc ? r : -r;
      });
    }
    table.tHead.addEventListener('click', function (e) {
      var th = e.target;
      if (th.tagName !== 'TH') return;
      var i = Array.prototype.indexOf.call(th.parentNode.children, th);
      state.asc = state.column === i ? !state.asc : true;
      state.column = i;
      Array.prototype.forEach.call(th.parentNode.children, function (h) { h.classList.remove('asc', 'desc'); });
      th.classList.add(state.asc ? 'asc' : 'desc');
      if (rows() === state.view) state.view = all.slice();
      sort();
      fill();
    });
    var input = table.previousElementSibling;
    if (input && input.classList.contains('filter'))
      input.addEventListener('input', function () {
        var q = input.value.trim().toLowerCase();
        state.view = q === '' ? rows().slice() : rows().filter(function (row) {
          return row.some(function (c) { return text(c).toLowerCase().indexOf(q) >= 0; });
        });
        sort();
        fill();
      });
    var details = table.closest('details');
    details.addEventListener('toggle', function () { if (details.open && !state.filled) fill(); });
    return { details: details, fill: fill };
  }
  var tables = {};
  document.querySelectorAll('table.list').forEach(function (t) { tables[t.getAttribute('data-rows-for')] = setUp(t); });
  function openFromHash() {
    var id = location.hash.slice(1), target = document.getElementById(id);
    if (!target || target.tagName !== 'DETAILS') return;
    target.open = true;
    if (tables[id]) tables[id].fill();
  }
  window.addEventListener('hashchange', openFromHash);
  openFromHash();
  document.body.setAttribute('data-ready', 'yes');
})();
)";

}  // namespace

std::string path_url(const std::string& path) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out = !path.empty() && path.front() == '/' ? "file://" : "";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

void write_overview_html(std::ostream& o, const staging_status& st) {
  write_overview_html(o, st, status_summary_json(st));
}

void write_overview_html(std::ostream& o, const staging_status& st, const status_document& summary) {
  const auto counts_of = [&](const char* group, const char* part) {
    std::map<std::string, std::int64_t> n;
    for (const auto& [name, count] : summary[group][part].items()) n[name] = count.get<std::int64_t>();
    return n;
  };
  const auto files = counts_of("files", "counts");
  const auto models = counts_of("models", "counts");
  const auto tags = counts_of("models", "by-tag");
  const auto drawings = counts_of("drawings", "counts");
  const auto changes = counts_of("changes", "counts");

  page p(o);
  o << "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head><meta "
       "charset=\"utf-8\"/>"
    << "<title>Migration overview: " << esc(st.staging_directory) << "</title>\n<style>" << style
    << "</style></head>\n<body>\n<h1>Migration overview</h1>\n<p class=\"meta\">Staging directory "
    << link(st.staging_directory) << ", written by " << esc(st.written_by) << " at " << esc(st.written_at)
    << ". <a href=\"report.htm\">Full staging report (report.htm)</a> &#183; <a "
       "href=\"status.json\">status.json</a></p>\n";
  if (!st.analysed)
    o << "<p class=\"meta\">The staging directory has no analytics yet: models and drawings are counted when "
         "a "
         "staging run has finished.</p>\n";

  // Summary: every count with its share of the whole it belongs to.
  o << "<h2>Summary</h2>\n<table "
       "class=\"summary\"><thead><tr><th>What</th><th>Count</th><th>Share</th></tr></thead>"
       "<tbody>\n";
  const auto row = [&](const std::string& id, const std::string& label, std::int64_t n, std::int64_t whole,
                       bool bad) {
    o << "<tr class=\"" << (n == 0 ? "zero" : bad ? "bad" : "") << "\"><td>";
    if (n > 0 && bad)
      o << "<a href=\"#" << id << "\">" << esc(label) << "</a>";
    else
      o << esc(label);
    o << "</td><td class=\"count\" id=\"count-" << id << "\">" << n << "</td><td class=\"share\">"
      << share(n, whole) << "</td></tr>\n";
  };
  const std::int64_t found = files.at("found");
  row("files-found", "CAD files found", found, 0, false);
  row("files-staged", "Files staged", files.at("staged"), found, false);
  row("files-crashed", "Files that crashed the host", files.at("crashed"), found, true);
  row("files-load-failed", "Files that failed to load", files.at("load-failed"), found, true);
  row("files-save-failed", "Files whose models could not be saved", files.at("save-failed"), found, true);
  row("files-unfinished", "Files left unfinished (a rerun redoes them)", files.at("unfinished"), found, true);
  row("files-no-loader", "Files without a loader", files.at("no-loader"), found, true);
  const std::int64_t total = models.at("total");
  row("models-total", "Models staged", total, 0, false);
  row("models-ready", "Models ready for check-in", models.at("ready"), total, false);
  row("models-warnings", "Models with warnings", models.at("warnings"), total, false);
  row("models-errors", "Models with errors", models.at("errors"), total, true);
  row("models-name-conflicts", "Models with name conflicts", tags.at("model-name-conflict"), total, true);
  row("models-top-level-wp", "Top-level workplanes", tags.at("top-level-wp"), total, true);
  row("models-checked-in", "Models checked in", models.at("checked-in"), total, false);
  row("models-left", "Models not checked in yet", models.at("left"), total, false);
  row("models-skipped", "Models a check-in batch passed over", models.at("skipped"), total, true);
  const std::int64_t dtotal = drawings.at("total");
  row("drawings-total", "Annotation drawings staged", dtotal, 0, false);
  row("drawings-fully-associated", "Drawings fully associated", drawings.at("fully-associated"), dtotal,
      false);
  row("drawings-partially-associated", "Drawings partly associated", drawings.at("partially-associated"),
      dtotal, true);
  row("drawings-associated-by-model-name", "Drawings associated by model name only",
      drawings.at("associated-by-model-name"), dtotal, true);
  row("drawings-orphan", "Orphaned drawings", drawings.at("orphan"), dtotal, true);
  row("drawings-checked-in", "Drawings checked in", drawings.at("checked-in"), dtotal, false);
  row("drawings-left", "Drawings not checked in yet", drawings.at("left"), dtotal, false);
  std::int64_t all_changes = 0;
  for (const auto& [reason, n] : changes) all_changes += n;
  row("changes", "Sysid changes", all_changes, 0, false);
  for (const auto& [reason, n] : changes) row("changes-" + reason, "  " + reason, n, all_changes, false);
  o << "</tbody></table>\n<h2>What to look at, in order</h2>\n";

  const auto file_section = [&](cad_file_outcome outcome, const std::string& id, const std::string& title,
                                const std::string& what, bool with_message) {
    std::vector<std::string> headers{"Source file", "Load method"};
    if (with_message) headers.push_back("Message");
    p.section(id, title, what, headers, files.at(std::string(cad_file_outcome_name(outcome))),
              [&](rows_t& r) {
                st.files([&](const file_entry& f) {
                  if (f.outcome != outcome) return;
                  r.row();
                  cell(r, jlink(f.source));
                  cell(r, f.load_method);
                  if (with_message) cell(r, f.message);
                });
              });
  };
  file_section(cad_file_outcome::crashed, "files-crashed", "Files that crashed the host",
               "The host died while loading these files; a rerun does not try them again. Repair or remove "
               "them in the input directory.",
               false);
  file_section(cad_file_outcome::load_failed, "files-load-failed", "Files that failed to load",
               "The host's loader refused these files with the message shown.", true);
  file_section(cad_file_outcome::save_failed, "files-save-failed", "Files whose models could not be saved",
               "Loaded, but a model or the drawing could not be written into the staging directory (a full "
               "disk, no permission); free the space and run the staging again: it redoes them.",
               true);
  file_section(cad_file_outcome::unfinished, "files-unfinished", "Files left unfinished",
               "Loaded, but the run ended before their results were all written; the next run redoes them.",
               false);
  file_section(cad_file_outcome::no_loader, "files-no-loader", "Files without a loader",
               "No loader takes files of this type; they are not migrated.", false);

  const auto model_rows = [&](const std::function<bool(const model_entry&)>& keep,
                              const std::function<void(rows_t&, const model_entry&)>& extra) {
    return [&st, keep, extra](rows_t& r) {
      st.models([&](const model_entry& m) {
        if (!keep(m)) return;
        r.row();
        cell(r, m.instance.empty() ? m.key : m.instance);
        source_cell(r, m.source_file, m.source);
        cell(r, jlink(m.staged));
        extra(r, m);
      });
    };
  };
  p.section(
      "models-errors", "Models with errors",
      "Corrupt parts fail the body check; lost parts were once connected to the model. report.htm has the "
      "details of each.",
      {"Model", "Source file", "Staged as", "Corrupt parts", "Lost parts", "Tags"}, models.at("errors"),
      model_rows([](const model_entry& m) { return m.cat == category::errors; },
                 [](rows_t& r, const model_entry& m) {
                   cell(r, m.corrupt.size());
                   cell(r, m.disconnects.size());
                   cell(r, joined(m.tags));
                 }));
  p.section("models-name-conflicts", "Models with name conflicts",
            "Different components of one model carry the same model name; the check-in resolves them.",
            {"Model", "Source file", "Staged as", "Conflicting names", "Checked in"},
            tags.at("model-name-conflict"),
            model_rows(
                [](const model_entry& m) {
                  for (const std::string& t : m.tags)
                    if (t == "model-name-conflict") return true;
                  return false;
                },
                [](rows_t& r, const model_entry& m) {
                  std::vector<std::string> names;
                  for (const model_name_conflict& c : m.name_conflicts)
                    names.push_back(c.name + " (" + std::to_string(c.sysids.size()) + ")");
                  cell(r, joined(names));
                  cell(r, m.checked_in ? "yes" : "no");
                }));

  const auto drawing_section = [&](const std::string& tag, const std::string& title,
                                   const std::string& what) {
    p.section("drawings-" + tag, title, what, {"Drawing", "Source file", "Staged as", "Models", "Checked in"},
              drawings.at(tag), [&](rows_t& r) {
                st.drawings([&](const drawing_entry& d) {
                  if (d.tag != tag) return;
                  r.row();
                  cell(r, d.name);
                  source_cell(r, d.source_file, d.source);
                  cell(r, jlink(d.staged));
                  cell(r, joined(d.models));
                  cell(r, d.checked_in ? "yes" : "no");
                });
              });
  };
  drawing_section(
      "orphan", "Orphaned drawings",
      "No 3D model of the staging directory owns their views; they are checked in as plain drawings "
      "unless their models are added to the input directory.");
  drawing_section("partially-associated", "Partly associated drawings",
                  "Some of the 3D models their views show were not found.");
  drawing_section("associated-by-model-name", "Drawings associated by model name only",
                  "None of their views' owners was found; a model of the drawing's name was.");
  p.section("models-top-level-wp", "Top-level workplanes", "Top-level workplanes are not migrated.",
            {"Workplane", "Source file", "Staged as"}, tags.at("top-level-wp"),
            model_rows(
                [](const model_entry& m) {
                  for (const std::string& t : m.tags)
                    if (t == "top-level-wp") return true;
                  return false;
                },
                [](rows_t&, const model_entry&) {}));
  p.section(
      "models-skipped", "Models a check-in batch passed over",
      "The batch check-in could not check these in; the assisted check-in dialog takes them one by one.",
      {"Staged as", "Reason"}, models.at("skipped"), [&](rows_t& r) {
        for (const skipped_model& s : st.skipped) {
          r.row();
          cell(r, jlink(s.staged));
          cell(r, s.reason);
        }
      });
  p.section("models-left", "Models not checked in yet", "The models the check-in has still to do.",
            {"Model", "Source file", "Staged as", "Category", "Tags"}, models.at("left"),
            model_rows([](const model_entry& m) { return m.left(); },
                       [](rows_t& r, const model_entry& m) {
                         cell(r, category_name(m.cat));
                         cell(r, joined(m.tags));
                       }));
  p.section("drawings-left", "Drawings not checked in yet", "Each with the reason it is still waiting.",
            {"Drawing", "Staged as", "Why"}, drawings.at("left"), [&](rows_t& r) {
              st.drawings([&](const drawing_entry& d) {
                if (d.checked_in) return;
                r.row();
                cell(r, d.name);
                cell(r, jlink(d.staged));
                cell(r, d.left_because);
              });
            });
  p.section("changes", "Sysid changes", "Components given a new sysid while staging, by reason.",
            {"Reason", "Model name", "Sysid before", "Sysid after", "Where"}, all_changes, [&](rows_t& r) {
              st.changes([&](const change_entry& c) {
                r.row();
                cell(r, c.reason);
                cell(r, c.model_name);
                cell(r, c.sysid_before);
                cell(r, c.sysid_after);
                cell(r, joined(c.locations, "; "));
              });
            });
  p.section("files-staged", "Files staged", "Every CAD file staged, with what it gave.",
            {"Source file", "Load method", "Models", "Drawing"}, files.at("staged"), [&](rows_t& r) {
              st.files([&](const file_entry& f) {
                if (f.outcome != cad_file_outcome::staged) return;
                r.row();
                cell(r, jlink(f.source));
                cell(r, f.load_method);
                cell(r, f.models);
                cell(r, jlink(f.drawing));
              });
            });

  o << "<script>//<![CDATA[" << script << "//]]></script>\n</body>\n</html>\n";
}

void write_overview_page(const std::filesystem::path& dir, const staging_status& status) {
  write_overview_page(dir, status, status_summary_json(status));
}

void write_overview_page(const std::filesystem::path& dir, const staging_status& status,
                         const status_document& summary) {
  replace_file(dir / overview_file, "overview page",
               [&](std::ostream& out) { write_overview_html(out, status, summary); });
}

}  // namespace vtm::analytics
