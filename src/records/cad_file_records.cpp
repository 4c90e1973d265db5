#include "records/cad_file_records.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "records/record_print.h"
#include "records/record_text.h"

namespace vtm::records {

namespace hl = host::lisp;

namespace {

std::int64_t write_date_or_zero(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return 0;
  return hl::file_write_date(hl::make_string(file.string()));
}

hl::ref state_entry(cad_file_state state, const record_path& path) {
  return hl::list({core::lisp_value<cad_file_state>::to(state), core::lisp_value<record_path>::to(path)});
}

// Appends the record printed straight from value, or else its Lisp form
// printed by the host.
template <class T, class Lisp>
void append_record(record_file& file, const T& value, const Lisp& lisp_form) {
  std::string text;
  if (file.is_open() && print_record(value, text))
    file.append_printed(text);
  else
    file.append(lisp_form());
}

hl::ref staged_as() { return hl::ref(&hl::keyword("STAGED-AS")); }

// (:STAGED-AS path ((loaded . staged) ...)), or nothing.
std::optional<std::pair<std::string, cad_file_records::staged_models>> staged_models_entry(
    const hl::ref& form) {
  if (!hl::consp(form) || !hl::eql(hl::car(form), staged_as()) || hl::list_length(form) != 3)
    return std::nullopt;
  const hl::ref path = hl::car(hl::cdr(form));
  if (!hl::is(path, hl::tag::pathname) && !hl::stringp(path)) return std::nullopt;
  cad_file_records::staged_models models;
  for (hl::ref rest = hl::car(hl::cdr(hl::cdr(form))); hl::consp(rest); rest = hl::cdr(rest)) {
    const hl::ref pair = hl::car(rest);
    if (!hl::consp(pair) || !hl::stringp(hl::car(pair)) || !hl::stringp(hl::cdr(pair))) return std::nullopt;
    models.emplace_back(hl::as_string(hl::car(pair)), hl::as_string(hl::cdr(pair)));
  }
  return std::pair{core::lisp_value<std::filesystem::path>::from(path).string(), std::move(models)};
}

}  // namespace

void cad_file_records::record_staged_models(const std::filesystem::path& path, const staged_models& models) {
  append_record(file_, std::tuple(core::keyword_name{"STAGED-AS"}, record_path(path), models), [&] {
    std::vector<hl::ref> pairs;
    for (const auto& [loaded, staged] : models)
      pairs.push_back(hl::cons(hl::make_string(loaded), hl::make_string(staged)));
    return hl::list({staged_as(), core::lisp_value<std::filesystem::path>::to(path), hl::list_from(pairs)});
  });
}

cad_file_records::staged_models cad_file_records::take_staged_models(const std::filesystem::path& path) {
  auto node = staged_.extract(path.string());
  return node ? std::move(node.mapped()) : staged_models();
}

cad_file_records make_cad_file_records(const std::filesystem::path& dir) {
  cad_file_records records(dir);
  // Files whose last entry so far is a state entry. Most get their complete
  // record further on, so their write dates are looked up once the whole
  // file is read.
  std::unordered_set<std::string> dated_later;
  const auto take = [&](cad_fileinfo info) {
    dated_later.erase(info.path.string());
    records.filetable_.insert_or_assign(info.path.string(), std::move(info));
  };
  // (state path): the state the file reached, with its write date now.
  const auto take_state = [&](cad_file_state state, record_path path) {
    cad_fileinfo info;
    info.path = std::move(path);
    info.state = state;
    std::string key = info.path.string();
    records.filetable_.insert_or_assign(key, std::move(info));
    dated_later.insert(std::move(key));
  };
  records.file_.open(
      [&](const hl::ref& form) {
        if (hl::typep(form, core::lisp_type<cad_fileinfo>()))
          return take(core::from_lisp<cad_fileinfo>(form));
        if (auto s = staged_models_entry(form)) return void(records.staged_[s->first] = std::move(s->second));
        // Other objects are ignored.
        if (hl::list_length(form) != 2 || !hl::keywordp(hl::car(form))) return;
        const hl::ref state = hl::car(form), path = hl::car(hl::cdr(form));
        if (!hl::is(path, hl::tag::pathname) && !hl::stringp(path)) return;
        const auto& names = core::keyword_enum<cad_file_state>::names;
        if (std::find(names.begin(), names.end(), hl::as_symbol(state).name) == names.end()) return;
        take_state(core::lisp_value<cad_file_state>::from(state), core::lisp_value<record_path>::from(path));
      },
      [&](record_text& text) {
        std::pair<cad_file_state, record_path> entry;
        const std::size_t start = text.pos();
        if (text.open_list() && text_value<cad_file_state>::parse(text, entry.first) &&
            text_value<record_path>::parse(text, entry.second) && !entry.second.empty() &&
            text.close_list()) {
          take_state(entry.first, std::move(entry.second));
          return true;
        }
        text.rewind(start);
        std::optional<cad_fileinfo> info = decode_record<cad_fileinfo>(text);
        if (info) take(std::move(*info));
        return info.has_value();
      });
  for (const std::string& key : dated_later) {
    cad_fileinfo* info = records.filetable_.find(key);
    info->write_date = write_date_or_zero(info->path.path());
  }
  return records;
}

bool cad_file_records::update_cad_file_records(cad_fileinfo& record) {
  switch (record.state) {
    case cad_file_state::new_:
      append_record(file_, std::tuple(cad_file_state::loading, record.path),
                    [&] { return state_entry(cad_file_state::loading, record.path); });
      record.state = cad_file_state::loading;
      break;
    case cad_file_state::loading:
      append_record(file_, std::tuple(cad_file_state::processing, record.path),
                    [&] { return state_entry(cad_file_state::processing, record.path); });
      record.state = cad_file_state::processing;
      break;
    case cad_file_state::processing:
      record.state = cad_file_state::complete;
      try {
        append_record(file_, record, [&] { return core::to_lisp(record); });
      } catch (...) {
        record.state = cad_file_state::processing;
        throw;
      }
      break;
    case cad_file_state::complete:
      return false;
  }
  filetable_.insert_or_assign(record.path.string(), record);
  return true;
}

bool cad_file_records::cad_file_records_consistent_p() const {
  for (const auto& [path, info] : filetable_)
    if (!cad_fileinfo_consistent_p(info)) return false;
  return true;
}

}  // namespace vtm::records
