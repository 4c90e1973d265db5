#include "analytics/json_text.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace vtm::analytics {

void append_json_string(std::string& out, std::string_view text) {
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x80 && c != '"' && c != '\\';
  });
  if (plain) {
    out += '"';
    out += text;
    out += '"';
    return;
  }
  out += nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

pretty_json& pretty_json::key(std::string_view name) {
  next();
  append_json_string(text_, name);
  text_ += ": ";
  keyed_ = true;
  return *this;
}

pretty_json& pretty_json::string(std::string_view s) {
  next();
  append_json_string(text_, s);
  return *this;
}

pretty_json& pretty_json::boolean(bool b) {
  next();
  text_ += b ? "true" : "false";
  return *this;
}

pretty_json& pretty_json::null() {
  next();
  text_ += "null";
  return *this;
}

pretty_json& pretty_json::strings(const std::vector<std::string>& list) {
  begin_array();
  for (const std::string& s : list) string(s);
  return end_array();
}

pretty_json& pretty_json::open(char bracket) {
  next();
  text_ += bracket;
  empty_.push_back(true);
  return *this;
}

pretty_json& pretty_json::close(char bracket) {
  const bool empty = empty_.back();
  empty_.pop_back();
  if (!empty) {
    text_ += '\n';
    text_.append(empty_.size(), ' ');
  }
  text_ += bracket;
  return *this;
}

void pretty_json::next() {
  if (keyed_) {
    keyed_ = false;
    return;
  }
  if (empty_.empty()) return;
  text_ += empty_.back() ? "\n" : ",\n";
  text_.append(empty_.size(), ' ');
  empty_.back() = false;
}

}  // namespace vtm::analytics
