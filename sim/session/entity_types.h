// The entity types that are filed on their own, defined apart from the
// session so that a program that only reads model files (pb_pub) links
// nothing of the session.
#pragma once

#include <string>
#include <string_view>

namespace sim::session {

// The four contents types that are filed on their own, and the instance
// type that goes with a contents type.
bool standard_contents_type(std::string_view type_name);
std::string instance_type_for(std::string_view contents_type);

}  // namespace sim::session
