#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <sx/SxLargeBlock.h>
#include <type_traits>
#include <utility>
#include <vector>

/// A contiguous, resizable array of values. It owns its elements; copies are deep. Large arrays
/// live on huge pages where the system has them (sx/SxLargeBlock.h).
template <class T>
class SxArray {
public:
   SxArray() = default;
   /// Creates an array of n value-initialised elements.
   explicit SxArray(std::ptrdiff_t n) : elems_(static_cast<std::size_t>(n)) {
      // The allocator leaves new plain elements as they are (see resizeForOverwrite).
      if constexpr (std::is_trivially_default_constructible_v<T>)
         std::fill(elems_.begin(), elems_.end(), T());
   }
   SxArray(std::initializer_list<T> init) : elems_(init) {}
   /// Copies n elements starting at data.
   SxArray(const T* data, std::ptrdiff_t n) : elems_(data, data + n) {}

   /// Number of elements.
   [[nodiscard]] std::ptrdiff_t getSize() const {
      return static_cast<std::ptrdiff_t>(elems_.size());
   }
   [[nodiscard]] bool isEmpty() const { return elems_.empty(); }

   /// Changes the number of elements; new elements are value-initialised, kept ones unchanged.
   void resize(std::ptrdiff_t n) {
      if constexpr (std::is_trivially_default_constructible_v<T>)
         elems_.resize(static_cast<std::size_t>(n), T());
      else
         elems_.resize(static_cast<std::size_t>(n));
   }
   /// Changes the number of elements for a caller that writes every new one before reading it:
   /// new elements of a plain type are left as the memory gives them, not zeroed first.
   void resizeForOverwrite(std::ptrdiff_t n) { elems_.resize(static_cast<std::size_t>(n)); }
   void append(const T& elem) { elems_.push_back(elem); }
   void append(T&& elem) { elems_.push_back(std::move(elem)); }
   void removeAll() { elems_.clear(); }

   T& operator()(std::ptrdiff_t i) { return elems_[static_cast<std::size_t>(i)]; }
   const T& operator()(std::ptrdiff_t i) const { return elems_[static_cast<std::size_t>(i)]; }
   T& operator[](std::ptrdiff_t i) { return elems_[static_cast<std::size_t>(i)]; }
   const T& operator[](std::ptrdiff_t i) const { return elems_[static_cast<std::size_t>(i)]; }

   /// The first element's address, or null for an empty array.
   T* elements() { return elems_.empty() ? nullptr : elems_.data(); }
   const T* elements() const { return elems_.empty() ? nullptr : elems_.data(); }

   auto begin() { return elems_.begin(); }
   auto end() { return elems_.end(); }
   auto begin() const { return elems_.begin(); }
   auto end() const { return elems_.end(); }

   bool operator==(const SxArray& other) const = default;

private:
   std::vector<T, SxBlockAllocator<T>> elems_;
};
