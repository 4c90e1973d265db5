// The value of a sysid slot of a record. In session it is the cluster's host
// handle; once the record is persisted it is the cluster's sysid string. One
// slot type holds either, so a record keeps its shape across both states.
#pragma once

#include <string>
#include <variant>

#include "core/vt_utils.h"
#include "host/lisp/object.h"

namespace vtm::records {

class sysid_value {
 public:
  sysid_value() = default;                                    // NIL
  sysid_value(std::string sysid) : v_(std::move(sysid)) {}    // NOLINT: a sysid string is a sysid value
  sysid_value(const char* sysid) : v_(std::string(sysid)) {}  // NOLINT
  static sysid_value of_entity(host::lisp::ref handle) {
    sysid_value v;
    v.v_ = std::move(handle);
    return v;
  }

  bool is_nil() const { return std::holds_alternative<std::monostate>(v_); }
  bool persisted() const { return std::holds_alternative<std::string>(v_); }
  bool in_session() const { return std::holds_alternative<host::lisp::ref>(v_); }
  // Only for persisted values.
  const std::string& string() const { return std::get<std::string>(v_); }
  // Only for in-session values.
  const host::lisp::ref& handle() const { return std::get<host::lisp::ref>(v_); }

  // Strings compare by value, handles by identity.
  bool operator==(const sysid_value&) const = default;

 private:
  std::variant<std::monostate, std::string, host::lisp::ref> v_;
};

}  // namespace vtm::records

namespace vtm::core {
template <>
struct lisp_value<records::sysid_value> {
  static ref to(const records::sysid_value& v);
  static records::sysid_value from(const ref& v);
};
}  // namespace vtm::core
