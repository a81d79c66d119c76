#pragma once

// A batch of registry writes. Windows offers no transaction to the plain registry calls, so a
// batch is only its body: callers check everything they can before the first write.

#include <functional>
#include <windows.h>

namespace voplatform {

/// Runs body and gives ERROR_SUCCESS; an exception of body passes on, and the writes made
/// before it stay.
inline LSTATUS registryBatch(const std::function<void()>& body) {
   body();
   return ERROR_SUCCESS;
}

} // namespace voplatform
