// A hash table that remembers insertion order, as the host's Lisp hash tables
// do: iteration runs in the order keys were first inserted, and storing under
// an existing key replaces the value in place. Table order is what the record
// queries and the report show, so it must not depend on hashing.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <unordered_map>
#include <utility>

namespace vtm::records {

template <class K, class V, class Hash = std::hash<K>>
class ordered_table {
 public:
  using entry = std::pair<K, V>;

  V* find(const K& key) {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &entries_[it->second].second;
  }
  const V* find(const K& key) const { return const_cast<ordered_table*>(this)->find(key); }

  // References stay valid while entries are added (the entries live in a
  // deque). The key may point into the value: it is copied before the value
  // is moved.
  template <class U>
  V& insert_or_assign(const K& key, U&& value) {
    auto [it, fresh] = index_.try_emplace(key, entries_.size());
    if (fresh) return entries_.emplace_back(key, std::forward<U>(value)).second;
    return entries_[it->second].second = std::forward<U>(value);
  }

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }
  auto rbegin() const { return entries_.rbegin(); }
  auto rend() const { return entries_.rend(); }

 private:
  std::deque<entry> entries_;
  std::unordered_map<K, std::size_t, Hash> index_;
};

}  // namespace vtm::records
