// Keyword arguments of natives and of interpreted functions.
#include <algorithm>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "lisp/eval_env.h"

namespace host::lisp {

namespace {

// Natives name their keys as they like to write them: "test", ":test" or
// "TEST" all mean :TEST.
std::string key_name(std::string_view key) {
  if (key.starts_with(':')) key.remove_prefix(1);
  std::string out(key);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

}  // namespace

namespace evaluator {

void check_keyword_pairs(std::string_view function, args_t args, std::size_t from,
                         const std::function<bool(const symbol&)>& known, bool allow_other_keys) {
  if (from < args.size() && (args.size() - from) % 2)
    signal("PROGRAM-ERROR", format("Odd number of keyword arguments to ~A.", make_string(function)));
  const symbol& allow_key = keyword("ALLOW-OTHER-KEYS");
  for (std::size_t i = from; i < args.size(); i += 2) {
    if (!symbolp(args[i]))
      signal("PROGRAM-ERROR", format("~S is not a keyword argument of ~A.", args[i], make_string(function)));
    if (args[i].get() == &allow_key) {
      // The first :allow-other-keys decides.
      allow_other_keys = allow_other_keys || truthy(args[i + 1]);
      break;
    }
  }
  if (allow_other_keys) return;
  for (std::size_t i = from; i < args.size(); i += 2) {
    const auto& key = static_cast<const symbol&>(*args[i]);
    if (&key != &allow_key && !known(key))
      signal("PROGRAM-ERROR", format("Unknown keyword argument ~S to ~A.", args[i], make_string(function)));
  }
}

}  // namespace evaluator

keyword_args::keyword_args(std::string_view function, args_t args, std::size_t from,
                           std::initializer_list<std::string_view> allowed, bool allow_other_keys) {
  std::vector<std::string> names;
  for (std::string_view a : allowed) names.push_back(key_name(a));
  evaluator::check_keyword_pairs(
      function, args, from,
      [&](const symbol& s) {
        return is_keyword(s) && std::find(names.begin(), names.end(), s.name) != names.end();
      },
      allow_other_keys);
  for (std::size_t i = from; i < args.size(); i += 2)
    if (keywordp(args[i])) pairs_.emplace_back(static_cast<const symbol&>(*args[i]).name, args[i + 1]);
}

ref keyword_args::get(std::string_view key, const ref& dflt) const {
  const std::string name = key_name(key);
  for (const auto& [k, v] : pairs_)
    if (k == name) return v;
  return dflt;
}

bool keyword_args::has(std::string_view key) const {
  const std::string name = key_name(key);
  return std::any_of(pairs_.begin(), pairs_.end(), [&](const auto& p) { return p.first == name; });
}

}  // namespace host::lisp
