// The host's module manager: extension libraries register here while they
// are mapped, and the host later calls their init_load_init.
#pragma once

#include <string>
#include <vector>

struct MOD_INFO;
using MODULE_ERROR_CALLBACK = void (*)(MOD_INFO*);
using MODULE_TEXT_CALLBACK = const wchar_t* (*)();

struct MOD_INFO {
  std::wstring id;
  std::wstring version;
  MODULE_ERROR_CALLBACK throw_error = nullptr;
  MODULE_TEXT_CALLBACK inq_msg = nullptr;
  MODULE_TEXT_CALLBACK inq_id = nullptr;
};

class MODULE_MANAGER {
 public:
  MOD_INFO* add_module(const wchar_t* id, const wchar_t* version, MODULE_ERROR_CALLBACK throw_error,
                       MODULE_TEXT_CALLBACK inq_msg, MODULE_TEXT_CALLBACK inq_id);
  // The registered module with that id, or nullptr.
  MOD_INFO* find_module(const wchar_t* id) const;
  const std::vector<MOD_INFO*>& modules() const;
};

extern MODULE_MANAGER dsm_module_manager;

// Base of the host's exceptions.
class THROWABLE {
 public:
  THROWABLE() = default;
  THROWABLE(const THROWABLE&) = default;
  virtual ~THROWABLE() = default;
};

// Raised for a module by its error callback. The copy constructor and
// destructor come with the module library.
class SD_EXCEPTION : public THROWABLE {
 public:
  explicit SD_EXCEPTION(MOD_INFO* info);
  SD_EXCEPTION(const SD_EXCEPTION& other);
  ~SD_EXCEPTION() override;
  MOD_INFO* module_info() const { return info_; }

 private:
  MOD_INFO* info_;
};
