#pragma once

#include <cstddef>
#include <sx/SxHashFunction.h>
#include <unordered_set>
#include <vector>

/// An ordered list that drops repeats: appending an element equal to one already held changes
/// nothing, so the list keeps the first of equal elements in the order they came.
template <class T, class Hash = SxHashFunction>
class SxUniqueList {
public:
   using value_type = T;

   /// Appends elem unless an equal element is held; returns whether it was appended.
   bool append(const T& elem) {
      if (!seen_.insert(elem).second)
         return false;
      elems_.push_back(elem);
      return true;
   }
   SxUniqueList& operator<<(const T& elem) {
      append(elem);
      return *this;
   }

   [[nodiscard]] bool contains(const T& elem) const { return seen_.count(elem) != 0; }
   [[nodiscard]] std::ptrdiff_t getSize() const {
      return static_cast<std::ptrdiff_t>(elems_.size());
   }
   [[nodiscard]] bool isEmpty() const { return elems_.empty(); }
   void removeAll() {
      elems_.clear();
      seen_.clear();
   }

   /// Element i, counted from 0 in the order of first arrival. The index must be inside.
   const T& operator()(std::ptrdiff_t i) const { return elems_[static_cast<std::size_t>(i)]; }

   auto begin() const { return elems_.begin(); }
   auto end() const { return elems_.end(); }

private:
   std::vector<T> elems_;
   std::unordered_set<T, Hash> seen_;
};
