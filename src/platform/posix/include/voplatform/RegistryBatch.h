#pragma once

// A batch of registry writes that stays whole or not at all.

#include <functional>
#include <voplatform/RegistryBackend.h>

namespace voplatform {

/// Runs body with the registry calls that this thread makes in it as one transaction per store
/// file: when body throws, none of its writes stays and the exception passes on; otherwise they
/// are committed together and the status of the commit is returned. Other threads' calls wait
/// until the batch ends.
inline LSTATUS registryBatch(const std::function<void()>& body) {
   return registryBackend()->batch(body);
}

} // namespace voplatform
