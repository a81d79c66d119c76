#pragma once

#include <cstddef>
#include <functional>

/// The hash policy of the foundation's hashed containers: the standard hash of the element
/// type, so any type with a std::hash specialisation (SxString has one) can be a key.
struct SxHashFunction {
   template <class T>
   std::size_t operator()(const T& value) const {
      return std::hash<T>{}(value);
   }
};
