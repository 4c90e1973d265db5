// The module loaded once per test program, as the host loads it, with the
// per-user settings in a temporary directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "host/lisp/object.h"

namespace core_test {

// Loads the module on the first call; the settings directory it uses.
const std::filesystem::path& load_module();

host::lisp::ref eval(std::string_view text);
std::string print(std::string_view text);  // prin1 of the value
// What evaluating text printed on the host's standard output.
std::string output_of(std::string_view text);

}  // namespace core_test
