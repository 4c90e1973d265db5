// Which stored model in the Model Manager carries a model name: the database
// answer reduced to one record by fixed preferences, cached per name for the
// session because a model is re-scanned after every resolution.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/lisp/object.h"

namespace vtm::checkin {

// "Jan" -> 1 ... "Dec" -> 12.
const std::unordered_map<std::string, int>& month_table();

// One stored model: its columns upper-cased ("ELID", "STATE", ...) with their
// values as the database gave them; CREATE_DATE also as a universal time.
struct database_record {
  std::vector<std::pair<std::string, std::string>> fields;
  std::optional<std::int64_t> create_date;

  const std::string* field(std::string_view column) const;  // nullptr when absent
  std::string value(std::string_view column) const;         // "" when absent
  // (:ELID "..." ... :CREATE_DATE <universal time> ...) in column order.
  host::lisp::ref to_plist() const;
};

struct name_query_answer {
  std::optional<database_record> record;  // empty when no model has the name
  std::optional<std::string> error;       // the database's message when the query failed
  bool failed() const { return error.has_value(); }
};

// With cached, an earlier answer for the name (also "no model") is returned
// without a query; without, the database is asked and the cache updated.
// Failed queries are never cached.
name_query_answer query_component_by_model_name(const std::string& model_name, int limit = 100,
                                                bool cached = true);
void clear_name_query_cache();

// "Wed Nov 08 14:03:22 CET 2023" -> universal time in the local time zone
// (weekday and zone name are not used).
std::int64_t parse_universal_time(std::string_view text);

// Lisp: QUERY-COMPONENT-BY-MODEL-NAME, CLEAR-NAME-QUERY-CACHE, PARSE-UNIVERSAL-TIME.
void define_vt_query();

}  // namespace vtm::checkin
