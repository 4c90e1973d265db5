// A table that keeps its entries in the order they were first stored, finds
// them by key and erases them in constant time, as the name tables of the
// check-in need: walked in order, thinned while walked.
#pragma once

#include <iterator>
#include <list>
#include <unordered_map>
#include <utility>

namespace vtm::checkin {

template <class K, class V, class Hash = std::hash<K>>
class linked_table {
 public:
  using entry = std::pair<const K, V>;
  using iterator = typename std::list<entry>::iterator;
  using const_iterator = typename std::list<entry>::const_iterator;

  V* find(const K& key) {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &it->second->second;
  }
  const V* find(const K& key) const { return const_cast<linked_table*>(this)->find(key); }
  // A new key goes to the end; an existing one keeps its place.
  V& insert_or_assign(const K& key, V value) {
    if (V* existing = find(key)) return *existing = std::move(value);
    entries_.emplace_back(key, std::move(value));
    index_.emplace(key, std::prev(entries_.end()));
    return entries_.back().second;
  }
  // The entry after the erased one.
  iterator erase(iterator it) {
    index_.erase(it->first);
    return entries_.erase(it);
  }
  bool erase(const K& key) {
    auto it = index_.find(key);
    if (it == index_.end()) return false;
    entries_.erase(it->second);
    index_.erase(it);
    return true;
  }
  void clear() {
    entries_.clear();
    index_.clear();
  }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

 private:
  std::list<entry> entries_;
  std::unordered_map<K, iterator, Hash> index_;
};

}  // namespace vtm::checkin
