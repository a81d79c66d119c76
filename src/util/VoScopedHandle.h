#pragma once

// The one owner of the system handles that the system-environment calls open (snapshots,
// processes, tokens, files).

#include <windows.h>

namespace vo::detail {

/// Closes its handle when the block is left, on every path. Null and INVALID_HANDLE_VALUE both
/// mean that there is none.
class ScopedHandle {
public:
   explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
   ~ScopedHandle() {
      if (isValid())
         CloseHandle(handle_);
   }
   ScopedHandle(const ScopedHandle&) = delete;
   ScopedHandle& operator=(const ScopedHandle&) = delete;
   [[nodiscard]] HANDLE get() const { return handle_; }
   [[nodiscard]] bool isValid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }

private:
   HANDLE handle_;
};

} // namespace vo::detail
