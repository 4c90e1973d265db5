// The list slots of component records. While a model is scanned they grow
// at the front (the newest position first), thousands of times for a
// contents used everywhere; a vector kept in reverse makes that cheap, and
// records stay cheap to move. Iteration runs from the front.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "core/vt_utils.h"

namespace vtm::records {

template <class T>
class front_list {
 public:
  using value_type = T;
  using const_iterator = typename std::vector<T>::const_reverse_iterator;

  front_list() = default;
  front_list(std::initializer_list<T> items) : front_list(items.begin(), items.end()) {}
  template <class It>
  front_list(It first, It last) : reversed_(first, last) {
    std::reverse(reversed_.begin(), reversed_.end());
  }
  // The elements in list order.
  static front_list of(std::vector<T> in_order) {
    front_list l;
    l.reversed_ = std::move(in_order);
    std::reverse(l.reversed_.begin(), l.reversed_.end());
    return l;
  }

  void push_front(T value) { reversed_.push_back(std::move(value)); }
  const T& front() const { return reversed_.back(); }
  bool empty() const { return reversed_.empty(); }
  std::size_t size() const { return reversed_.size(); }
  void clear() { reversed_.clear(); }
  const_iterator begin() const { return reversed_.rbegin(); }
  const_iterator end() const { return reversed_.rend(); }
  bool operator==(const front_list&) const = default;

 private:
  std::vector<T> reversed_;
};

}  // namespace vtm::records

namespace vtm::core {
template <class T>
struct lisp_value<records::front_list<T>> {
  static ref to(const records::front_list<T>& v) {
    ref result;
    for (auto it = std::make_reverse_iterator(v.end()); it != std::make_reverse_iterator(v.begin()); ++it)
      result = host::lisp::cons(lisp_value<T>::to(*it), std::move(result));
    return result;
  }
  static records::front_list<T> from(const ref& v) {
    return records::front_list<T>::of(lisp_value<std::vector<T>>::from(v));
  }
};
}  // namespace vtm::core
