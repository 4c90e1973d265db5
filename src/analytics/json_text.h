// JSON text written straight from the entries of a large status, as
// nlohmann::json's dump writes the same values (invalid UTF-8 replaced),
// without building a JSON value for each entry first.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vtm::analytics {

// Appends text as a JSON string: plain ASCII as it is, anything else (an
// escape, a non-ASCII or invalid byte) as the library writes it.
void append_json_string(std::string& out, std::string_view text);

// The text of one value as dump(1) writes it: objects and arrays one member
// or element a line, indented a space a level; empty ones as {} and [].
class pretty_json {
 public:
  pretty_json& begin_object() { return open('{'); }
  pretty_json& end_object() { return close('}'); }
  pretty_json& begin_array() { return open('['); }
  pretty_json& end_array() { return close(']'); }
  pretty_json& key(std::string_view name);
  pretty_json& string(std::string_view s);
  pretty_json& boolean(bool b);
  pretty_json& null();
  pretty_json& strings(const std::vector<std::string>& list);
  // key, then the value
  pretty_json& member(std::string_view name, std::string_view s) { return key(name).string(s); }

  const std::string& text() const { return text_; }
  void clear() {
    text_.clear();
    empty_.clear();
    keyed_ = false;
  }

 private:
  pretty_json& open(char bracket);
  pretty_json& close(char bracket);
  void next();

  std::string text_;
  std::vector<bool> empty_;  // per open container: nothing in it yet
  bool keyed_ = false;       // a key was written, its value comes next
};

}  // namespace vtm::analytics
