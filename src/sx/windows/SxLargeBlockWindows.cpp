// Large blocks on Windows: plain allocations. Large pages there need the "lock pages in
// memory" privilege, which a library cannot assume its host has.

#include <sx/SxLargeBlock.h>

void* sxAllocateBlock(std::size_t bytes) {
   return ::operator new(bytes);
}

void sxFreeBlock(void* block, std::size_t) noexcept {
   ::operator delete(block);
}

void sxAdviseHugePages(void*, std::size_t) noexcept {}
