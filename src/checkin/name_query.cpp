#include "checkin/name_query.h"

#include <algorithm>
#include <charconv>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/time.h"
#include "host/modelmanager.h"

namespace vtm::checkin {

using namespace host::lisp;

namespace {

std::unordered_map<std::string, std::optional<database_record>>& cache() {
  static std::unordered_map<std::string, std::optional<database_record>> answers;
  return answers;
}

std::string upcase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return out;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t at = text.find(separator, start);
    fields.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return fields;
    start = at + 1;
  }
}

int decimal(std::string_view field, std::string_view text) {
  int value = 0;
  auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (ec != std::errc() || end != field.data() + field.size() || field.empty())
    simple_error("Not a date of the database: \"" + std::string(text) + "\" (\"" + std::string(field) +
                 "\" is no number)");
  return value;
}

// The preferred release of a name: released in the migration project and
// migrated to the part database.
bool preferred(const database_record& r) {
  return r.value("PROJECT_ID") == "DEAR3S4P7X5BG4" && r.value("STATE") == "TC-RELEASED" &&
         r.value("ENOVIA_MIGRATED") == "1" && r.value("ENOVIA_PART_ER") == "00";
}

std::optional<database_record> choose(const host::modelmanager::mm_query_result& answer) {
  std::vector<std::string> keys;
  for (const std::string& c : answer.columns) keys.push_back(upcase(c));
  std::vector<database_record> records;
  for (const auto& row : answer.rows) {
    database_record r;
    for (std::size_t i = 0; i < keys.size() && i < row.size(); ++i) {
      r.fields.emplace_back(keys[i], row[i]);
      if (keys[i] == "CREATE_DATE") r.create_date = parse_universal_time(row[i]);
    }
    records.push_back(std::move(r));
  }
  std::stable_sort(records.begin(), records.end(), [](const database_record& a, const database_record& b) {
    return a.create_date.value_or(0) > b.create_date.value_or(0);
  });
  if (records.empty()) return std::nullopt;
  auto it = std::find_if(records.begin(), records.end(), preferred);
  return it != records.end() ? *it : records.front();
}

}  // namespace

const std::unordered_map<std::string, int>& month_table() {
  static const std::unordered_map<std::string, int> months = {
      {"Jan", 1}, {"Feb", 2}, {"Mar", 3}, {"Apr", 4},  {"May", 5},  {"Jun", 6},
      {"Jul", 7}, {"Aug", 8}, {"Sep", 9}, {"Oct", 10}, {"Nov", 11}, {"Dec", 12}};
  return months;
}

const std::string* database_record::field(std::string_view column) const {
  for (const auto& [key, value] : fields)
    if (key == column) return &value;
  return nullptr;
}

std::string database_record::value(std::string_view column) const {
  const std::string* v = field(column);
  return v ? *v : std::string();
}

ref database_record::to_plist() const {
  std::vector<ref> items;
  for (const auto& [key, value] : fields) {
    items.push_back(ref(&keyword(key)));
    items.push_back(key == "CREATE_DATE" && create_date ? make_integer(*create_date) : make_string(value));
  }
  return list_from(items);
}

name_query_answer query_component_by_model_name(const std::string& model_name, int limit, bool cached) {
  if (cached)
    if (auto it = cache().find(model_name); it != cache().end()) return {it->second, std::nullopt};
  const host::modelmanager::mm_query_result answer =
      host::modelmanager::mm_query_by_name("$MODEL", "$ALL", model_name, limit);
  if (!answer.ok) return {std::nullopt, answer.error};
  std::optional<database_record> chosen = choose(answer);
  cache()[model_name] = chosen;
  return {std::move(chosen), std::nullopt};
}

void clear_name_query_cache() { cache().clear(); }

std::int64_t parse_universal_time(std::string_view text) {
  const std::vector<std::string_view> fields = split(text, ' ');
  if (fields.size() < 6) simple_error("Not a date of the database: \"" + std::string(text) + "\"");
  const std::vector<std::string_view> time = split(fields[3], ':');
  if (time.size() < 3) simple_error("Not a time of the database: \"" + std::string(text) + "\"");
  auto month = month_table().find(std::string(fields[1]));
  if (month == month_table().end())
    simple_error("Not a month of the database: \"" + std::string(fields[1]) + "\" in \"" + std::string(text) +
                 "\"");
  return encode_local_universal_time(decimal(time[2], text), decimal(time[1], text), decimal(time[0], text),
                                     decimal(fields[2], text), month->second, decimal(fields[5], text));
}

void define_vt_query() {
  package& p = require_package("VANTREL-MIGRATOR");
  defun("QUERY-COMPONENT-BY-MODEL-NAME", p, [](args_t args) {
    check_argument_count("QUERY-COMPONENT-BY-MODEL-NAME", args, 1, any_count);
    keyword_args k("QUERY-COMPONENT-BY-MODEL-NAME", args, 1, {"limit", "cached"});
    const name_query_answer a = query_component_by_model_name(
        as_string(args[0]), k.has("limit") ? int(as_integer(k.get("limit"))) : 100,
        k.has("cached") ? truthy(k.get("cached")) : true);
    if (a.failed()) return make_string(*a.error);
    return a.record ? a.record->to_plist() : nil();
  });
  defun("CLEAR-NAME-QUERY-CACHE", p, [](args_t args) {
    check_argument_count("CLEAR-NAME-QUERY-CACHE", args, 0, 0);
    clear_name_query_cache();
    return nil();
  });
  defun("PARSE-UNIVERSAL-TIME", p, [](args_t args) {
    check_argument_count("PARSE-UNIVERSAL-TIME", args, 1, 1);
    return make_integer(parse_universal_time(as_string(args[0])));
  });
}

}  // namespace vtm::checkin
