// A hash table that remembers insertion order, as the host's Lisp hash tables
// do: iteration runs in the order keys were first inserted, and storing under
// an existing key replaces the value in place. Table order is what the record
// queries and the report show, so it must not depend on hashing.
//
// Entries live in blocks of fixed capacity, so references to them stay valid
// while entries are added, and a table of 100,000 records costs few
// allocations. Only the entries stored are constructed: the many small
// tables made per file pay for their entries, not for a whole block.
// The index is one array of entry numbers with a part of each key's hash
// (open addressing, linear probing): eight bytes a slot, no node per key.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
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
    if (slots_.empty()) return nullptr;
    const std::size_t s = probe(key, hash_of(key));
    return slots_[s].entry ? &at(slots_[s].entry - 1).second : nullptr;
  }
  const V* find(const K& key) const { return const_cast<ordered_table*>(this)->find(key); }

  // The key may point into the value: it is copied before the value is moved.
  template <class U>
  V& insert_or_assign(const K& key, U&& value) {
    if (2 * (size_ + 1) > slots_.size()) rehash(std::max<std::size_t>(2 * slots_.size(), 16));
    const std::size_t h = hash_of(key);
    const std::size_t s = probe(key, h);
    if (slots_[s].entry) return at(slots_[s].entry - 1).second = std::forward<U>(value);
    if (size_ == 0)
      blocks_.emplace_back().reserve(first_block_size);
    else if (size_ >= first_block_size && (size_ - first_block_size) % block_size == 0)
      blocks_.emplace_back().reserve(block_size);
    entry& e = blocks_.back().emplace_back(key, std::forward<U>(value));
    slots_[s] = {static_cast<std::uint32_t>(++size_), static_cast<std::uint32_t>(h)};
    return e.second;
  }

  // Room for n keys without growing the index.
  void reserve(std::size_t n) {
    std::size_t capacity = 16;
    while (capacity < 2 * n) capacity *= 2;
    if (capacity > slots_.size()) rehash(capacity);
  }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // The entry at position i in table order.
  const entry& at(std::size_t i) const { return const_cast<ordered_table*>(this)->at(i); }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }
  auto rbegin() const { return std::make_reverse_iterator(end()); }
  auto rend() const { return std::make_reverse_iterator(begin()); }

 private:
  // The first block is small: most tables made for a file hold a few
  // entries, and a whole block of large entries would cost a large
  // allocation for each.
  static constexpr std::size_t first_block_size = 16, block_size = 256;
  struct slot {
    std::uint32_t entry = 0;  // entry number + 1; 0 is a free slot
    std::uint32_t hash = 0;   // the low bits of the key's hash
  };

  // Mixed, so that hashes of pointers (low bits zero) spread over the slots.
  static std::size_t hash_of(const K& key) {
    const std::uint64_t h = static_cast<std::uint64_t>(Hash()(key)) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(h ^ (h >> 32));
  }
  std::size_t mask() const { return slots_.size() - 1; }
  // The slot of key, or the free slot where it would go.
  std::size_t probe(const K& key, std::size_t h) const {
    std::size_t s = h & mask();
    while (slots_[s].entry != 0 &&
           !(slots_[s].hash == static_cast<std::uint32_t>(h) && at(slots_[s].entry - 1).first == key))
      s = (s + 1) & mask();
    return s;
  }
  void enter(std::size_t h, std::size_t entry_plus_one) {
    std::size_t s = h & mask();
    while (slots_[s].entry != 0) s = (s + 1) & mask();
    slots_[s] = {static_cast<std::uint32_t>(entry_plus_one), static_cast<std::uint32_t>(h)};
  }
  void rehash(std::size_t capacity) {
    slots_.assign(capacity, slot{});
    for (std::size_t i = 0; i < size_; ++i) enter(hash_of(at(i).first), i + 1);
  }

  entry& at(std::size_t i) {
    if (i < first_block_size) return blocks_[0][i];
    i -= first_block_size;
    return blocks_[1 + i / block_size][i % block_size];
  }

  std::vector<std::vector<entry>> blocks_;  // the first reserved first_block_size long, the others block_size
  std::size_t size_ = 0;
  std::vector<slot> slots_;  // a power of two long, at most half full
};

}  // namespace vtm::records
