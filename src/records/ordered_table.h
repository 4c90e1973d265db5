// A hash table that remembers insertion order, as the host's Lisp hash tables
// do: iteration runs in the order keys were first inserted, and storing under
// an existing key replaces the value in place. Table order is what the record
// queries and the report show, so it must not depend on hashing.
//
// Entries live in fixed blocks, so references to them stay valid while
// entries are added, and a table of 100,000 records costs few allocations;
// the index points at the keys inside the entries.
#pragma once

#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vtm::records {

template <class K, class V, class Hash = std::hash<K>>
class ordered_table {
 public:
  using entry = std::pair<K, V>;

  class const_iterator {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = entry;
    using difference_type = std::ptrdiff_t;
    using pointer = const entry*;
    using reference = const entry&;
    const_iterator() = default;
    const_iterator(const ordered_table* t, std::size_t i) : t_(t), i_(i) {}
    reference operator*() const { return t_->at(i_); }
    pointer operator->() const { return &t_->at(i_); }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    const_iterator operator++(int) { return {t_, i_++}; }
    const_iterator& operator--() {
      --i_;
      return *this;
    }
    const_iterator operator--(int) { return {t_, i_--}; }
    bool operator==(const const_iterator& o) const { return i_ == o.i_; }

   private:
    const ordered_table* t_ = nullptr;
    std::size_t i_ = 0;
  };

  ordered_table() = default;
  ordered_table(ordered_table&&) noexcept = default;
  ordered_table& operator=(ordered_table&&) noexcept = default;

  V* find(const K& key) {
    auto it = index_.find(&key);
    return it == index_.end() ? nullptr : &at(it->second).second;
  }
  const V* find(const K& key) const { return const_cast<ordered_table*>(this)->find(key); }

  // The key may point into the value: it is copied before the value is moved.
  template <class U>
  V& insert_or_assign(const K& key, U&& value) {
    if (V* existing = find(key)) return *existing = std::forward<U>(value);
    if (size_ % block_size == 0) blocks_.push_back(std::make_unique<entry[]>(block_size));
    entry& e = at(size_);
    e.first = key;
    e.second = std::forward<U>(value);
    index_.emplace(&e.first, size_++);
    return e.second;
  }

  void reserve(std::size_t n) { index_.reserve(n); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }
  auto rbegin() const { return std::make_reverse_iterator(end()); }
  auto rend() const { return std::make_reverse_iterator(begin()); }

 private:
  static constexpr std::size_t block_size = 256;
  struct key_hash {
    std::size_t operator()(const K* k) const { return Hash()(*k); }
  };
  struct key_equal {
    bool operator()(const K* a, const K* b) const { return *a == *b; }
  };

  entry& at(std::size_t i) { return blocks_[i / block_size][i % block_size]; }
  const entry& at(std::size_t i) const { return blocks_[i / block_size][i % block_size]; }

  std::vector<std::unique_ptr<entry[]>> blocks_;
  std::size_t size_ = 0;
  std::unordered_map<const K*, std::size_t, key_hash, key_equal> index_;
};

}  // namespace vtm::records
