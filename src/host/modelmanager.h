// The Model Manager database, as the module queries it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/lisp/object.h"

namespace host::modelmanager {

// A query's answer: column names and rows of column values (all text), or
// the database's error message when the query failed.
struct mm_query_result {
  bool ok = false;
  std::string error;
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
};

// Stored objects of class_name ("$MODEL") whose name is `name`, at most limit
// rows; attributes "$ALL" asks for every column.
mm_query_result mm_query_by_name(std::string_view class_name, std::string_view attributes,
                                 std::string_view name, int limit);

// The element id of the stored document a cluster in session comes from;
// NIL when the cluster is not in Model Manager.
host::lisp::ref get_docelid_from_cluster(const host::lisp::ref& cluster);

}  // namespace host::modelmanager
