// The structure of a model file as XML, without loading it: the clusters
// the file defines and, in each, the references to instances placed there.
//
//   <structure file="/abs/x.sda">
//     <cluster kind="file" name="x.sda">            the file's top level
//       <reference name="x" type="nasmb3">
//         <source_cluster sysid="I-X"/>              the instance
//         <target_cluster file="x.sdac"/>            its contents (or sysid="...")
//       </reference>
//     </cluster>
//     <cluster kind="contents" sysid="C-X" name="x" type="asbm_struct"> ... </cluster>
//   </structure>
//
// Instances whose sysid the file does not fix get a fresh one at every load
// and are not listed. Contents files named by (:file ...) are not followed.
#pragma once

#include <filesystem>
#include <pugixml.hpp>
#include <string>

namespace pb_pub {

// Fills doc; false with the reason in *error when the file cannot be read
// or is no model file.
bool dump_structure(const std::filesystem::path& file, pugi::xml_document& doc, std::string* error);

}  // namespace pb_pub
