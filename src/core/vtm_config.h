// Unit vtm_config: the names of the staging directory's parts that the
// migration tools share.
#pragma once

namespace vtm::core {

void define_vtm_config();

}  // namespace vtm::core
