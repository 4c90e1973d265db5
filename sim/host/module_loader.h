// Loading an extension module library into the host process.
#pragma once

#include <filesystem>

namespace sim {

// Maps the library with dlopen(RTLD_NOW | RTLD_GLOBAL), which runs its
// static registration, then calls its init_load_init and returns the result.
// Every failure is an error naming the library and the cause: the loader's
// for a library that cannot be mapped or has no init_load_init, the
// module's own when init_load_init signals.
int load_module(const std::filesystem::path& library);

// lib/libvt_migrator.so beside the running executable's bin directory, as
// the build tree and an installation lay them out.
std::filesystem::path default_module_path();

}  // namespace sim
