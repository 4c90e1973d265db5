// The entity types of the session that are filed on their own, apart from
// the session itself, so that programs that only read model files (pb_pub)
// need nothing else.
#pragma once

#include <string>
#include <string_view>

namespace sim::session {

// The four contents types that are filed on their own, and the instance
// type that goes with a contents type.
bool standard_contents_type(std::string_view type_name);
std::string instance_type_for(std::string_view contents_type);

}  // namespace sim::session
