#include "records/model_names.h"

#include <fmt/format.h>
#include <utf8.h>

#include "host/lisp/time.h"
#include "records/cluster_session.h"

namespace vtm::records {

std::string unique_model_namer::next(std::string_view name) {
  return fmt::format("{}-{:X}.{:X}", name, load_time_, ++counter_);
}

unique_model_namer& module_unique_model_namer() {
  static unique_model_namer namer(host::lisp::get_universal_time());
  return namer;
}

std::string assign_unique_model_name(const host::lisp::ref& cluster, cluster_session& session) {
  std::string name = module_unique_model_namer().next(session.name(cluster));
  session.assign_name(cluster, name);
  return name;
}

std::string sanitized_model_name(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  auto it = name.begin();
  while (it != name.end()) {
    char32_t c;
    try {
      c = utf8::next(it, name.end());
    } catch (const utf8::exception&) {
      // A byte that starts no valid character is replaced like a non-ASCII one.
      ++it;
      c = 0x80;
    }
    if (c < U' ')
      out += '_';
    else if (c > U'~')
      out += '1';
    else
      out += static_cast<char>(c);
  }
  return out;
}

std::string sanitize_model_name(const host::lisp::ref& cluster, cluster_session& session) {
  std::string name = session.name(cluster);
  std::string clean = sanitized_model_name(name);
  if (clean == name) return name;
  session.assign_name(cluster, clean);
  return clean;
}

}  // namespace vtm::records
