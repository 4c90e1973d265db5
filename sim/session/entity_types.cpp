#include "session/entity_types.h"

namespace sim::session {

namespace {

struct type_pair {
  std::string_view instance, contents;
};
constexpr type_pair standard_types[] = {
    {"npart3", "part_struct"}, {"nasmb3", "asbm_struct"}, {"nwp", "wp_struct"}, {"nwpset", "nwpset_struct"}};

}  // namespace

bool standard_contents_type(std::string_view type_name) {
  for (const auto& p : standard_types)
    if (p.contents == type_name) return true;
  return false;
}

std::string instance_type_for(std::string_view contents_type) {
  for (const auto& p : standard_types)
    if (p.contents == contents_type) return std::string(p.instance);
  if (contents_type.ends_with("_struct"))
    return std::string(contents_type.substr(0, contents_type.size() - 7));
  return std::string(contents_type);
}

}  // namespace sim::session
