#pragma once
#include <cstddef>
#include <new>
#include <string>
#include <sx/SxExport.h>
#include <type_traits>
#include <utility>

/// Blocks of at least this many bytes are asked for on huge pages where the system gives them
/// without a privilege. On a virtual machine the first touch of fresh memory costs more than
/// most work done in it, and a huge page takes one fault where small pages take 512.
inline constexpr std::size_t kSxLargeBlockBytes = std::size_t{2} << 20;

/// True unless the environment variable VOUTIL_HUGE_PAGES is "0", which turns the huge-page path
/// off (read at every large allocation, so that a benchmark can compare both in one run).
SXUTIL_API bool sxHugePagesWanted() noexcept;

/// Allocates bytes. A large block is aligned to kSxLargeBlockBytes and advised as huge pages
/// on Linux; a small one, and every block on Windows, comes from operator new. Throws
/// std::bad_alloc when the memory cannot be had.
SXUTIL_API void* sxAllocateBlock(std::size_t bytes);

/// Frees a block from sxAllocateBlock; bytes is the size it was allocated with.
SXUTIL_API void sxFreeBlock(void* block, std::size_t bytes) noexcept;

/// Advises the huge-page-aligned part of a large buffer that another allocator gave, before
/// its first touch. Does nothing for a small buffer, on Windows, or when huge pages are off.
SXUTIL_API void sxAdviseHugePages(void* buffer, std::size_t bytes) noexcept;

/// A string of n zero bytes whose buffer is advised as huge pages before it is first touched.
SXUTIL_API std::string sxLargeString(std::size_t n);

/// The allocator of the foundation's arrays: large blocks through sxAllocateBlock, so that a
/// growing array keeps its huge pages too.
template <class T>
struct SxBlockAllocator {
   using value_type = T;
   SxBlockAllocator() = default;
   template <class U>
   SxBlockAllocator(SxBlockAllocator<U> const&) noexcept {}
   T* allocate(std::size_t n) {
      if (n > static_cast<std::size_t>(-1) / sizeof(T))
         throw std::bad_array_new_length();
      return static_cast<T*>(sxAllocateBlock(n * sizeof(T)));
   }
   void deallocate(T* p, std::size_t n) noexcept { sxFreeBlock(p, n * sizeof(T)); }
   /// An element of a plain type made without a value is left as the memory gives it, so that an
   /// array grown only to be overwritten is not zeroed first; SxArray passes a zero value where
   /// it promises one. Other types are value-initialised as usual.
   template <class U>
   void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
      if constexpr (std::is_trivially_default_constructible_v<U>)
         ::new (static_cast<void*>(p)) U;
      else
         ::new (static_cast<void*>(p)) U();
   }
   template <class U>
   bool operator==(SxBlockAllocator<U> const&) const noexcept {
      return true;
   }
};
