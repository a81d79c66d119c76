#pragma once

#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

/// Iterator policy of SxList: the list hands out plain forward and backward iterators.
struct SxListIterators {};

/// An ordered list of values that keeps insertion order and allows repeats.
template <class T, class Iterators = SxListIterators>
class SxList {
public:
   using value_type = T;

   SxList() = default;
   SxList(std::initializer_list<T> init) : elems_(init) {}
   /// The elements of the range [first, last).
   template <class It>
   SxList(It first, It last) : elems_(first, last) {}

   [[nodiscard]] std::ptrdiff_t getSize() const {
      return static_cast<std::ptrdiff_t>(elems_.size());
   }
   [[nodiscard]] bool isEmpty() const { return elems_.empty(); }

   /// Adds an element at the end and returns the list, so that appends can be chained.
   SxList& append(const T& elem) {
      elems_.push_back(elem);
      return *this;
   }
   SxList& append(T&& elem) {
      elems_.push_back(std::move(elem));
      return *this;
   }
   SxList& operator<<(const T& elem) { return append(elem); }
   void prepend(const T& elem) { elems_.insert(elems_.begin(), elem); }
   void removeAll() { elems_.clear(); }
   /// Makes room for n elements, so that appending up to n does not move the elements.
   void reserve(std::ptrdiff_t n) { elems_.reserve(static_cast<std::size_t>(n)); }

   /// Element i, counted from 0. The index must be inside the list.
   T& operator()(std::ptrdiff_t i) { return elems_[static_cast<std::size_t>(i)]; }
   const T& operator()(std::ptrdiff_t i) const { return elems_[static_cast<std::size_t>(i)]; }
   T& first() { return elems_.front(); }
   const T& first() const { return elems_.front(); }
   T& last() { return elems_.back(); }
   const T& last() const { return elems_.back(); }

   auto begin() { return elems_.begin(); }
   auto end() { return elems_.end(); }
   auto begin() const { return elems_.begin(); }
   auto end() const { return elems_.end(); }

   bool operator==(const SxList& other) const = default;

private:
   std::vector<T> elems_;
};
