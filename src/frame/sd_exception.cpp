// The module's share of the host's exception class. All members, and with
// them its virtual table, live here: the host only ever sees the exception
// thrown from the module's error callback.
#include "host/module_manager.h"

SD_EXCEPTION::SD_EXCEPTION(MOD_INFO* info) : info_(info) {}
SD_EXCEPTION::SD_EXCEPTION(const SD_EXCEPTION& other) : THROWABLE(other), info_(other.info_) {}
SD_EXCEPTION::~SD_EXCEPTION() = default;
