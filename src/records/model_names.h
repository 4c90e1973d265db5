// Unique and sanitized model names.
//
// In the database every distinct shareable contents needs its own model
// name; a unique name is the old one with the module's load time and a
// running number of the session appended.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/lisp/object.h"

namespace vtm::records {

class cluster_session;

// The counter and load time that all unique names of a session share.
class unique_model_namer {
 public:
  explicit unique_model_namer(std::int64_t load_time) : load_time_(load_time) {}
  // "~A-~X.~X" of name, the load time and the incremented counter (the first
  // name gets 1); hexadecimal in upper case without leading zeros.
  std::string next(std::string_view name);

 private:
  std::int64_t load_time_;
  std::int64_t counter_ = 0;
};

// The module's namer; its load time is taken on the first call, which the
// vt_model unit makes while the module loads.
unique_model_namer& module_unique_model_namer();

// Gives the cluster its next unique name and returns it.
std::string assign_unique_model_name(const host::lisp::ref& cluster, cluster_session& session);

// The name character by character (UTF-8; a non-ASCII character counts once):
// characters below Space become "_", characters above "~" become "1".
std::string sanitized_model_name(std::string_view name);
// Assigns the sanitized name when it differs from the cluster's name; returns
// the name the cluster has afterwards.
std::string sanitize_model_name(const host::lisp::ref& cluster, cluster_session& session);

}  // namespace vtm::records
