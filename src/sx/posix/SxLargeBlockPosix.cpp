// Large blocks on Linux: aligned to the huge-page size and advised as huge pages. Transparent
// huge pages in "madvise" mode (Debian's default) give them only to advised ranges.

#include <cstdint>
#include <cstdlib>
#include <new>
#include <sx/SxLargeBlock.h>
#include <sys/mman.h>

namespace {

bool isLarge(std::size_t bytes) {
   return bytes >= kSxLargeBlockBytes;
}

std::size_t roundUpToLargeBlock(std::size_t bytes) {
   return (bytes + kSxLargeBlockBytes - 1) & ~(kSxLargeBlockBytes - 1);
}

} // namespace

void* sxAllocateBlock(std::size_t bytes) {
   if (!isLarge(bytes))
      return ::operator new(bytes);
   if (bytes > SIZE_MAX - kSxLargeBlockBytes)
      throw std::bad_alloc();
   // Large blocks always come from malloc, so that freeing needs no record of the switch.
   const bool huge = sxHugePagesWanted();
   void* block = huge ? std::aligned_alloc(kSxLargeBlockBytes, roundUpToLargeBlock(bytes))
                      : std::malloc(bytes);
   if (!block)
      throw std::bad_alloc();
   if (huge)
      ::madvise(block, roundUpToLargeBlock(bytes), MADV_HUGEPAGE);
   return block;
}

void sxFreeBlock(void* block, std::size_t bytes) noexcept {
   if (isLarge(bytes))
      std::free(block);
   else
      ::operator delete(block);
}

void sxAdviseHugePages(void* buffer, std::size_t bytes) noexcept {
   if (!isLarge(bytes) || !sxHugePagesWanted())
      return;
   const auto start = reinterpret_cast<std::uintptr_t>(buffer);
   const std::uintptr_t first = (start + kSxLargeBlockBytes - 1) & ~(kSxLargeBlockBytes - 1);
   const std::uintptr_t last = (start + bytes) & ~(kSxLargeBlockBytes - 1);
   if (last > first)
      ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}
