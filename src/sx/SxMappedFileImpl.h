#pragma once

// Per-platform mapping behind SxMappedFile; see posix/ and windows/.

#include <cstddef>
#include <sx/SxString.h>

namespace sx::detail {
/// Maps the first size bytes of the named file read-only and returns their address, with the
/// platform's handle of the mapping in *mapping (never null on success). Returns null, with
/// nothing left to undo, when the file cannot be opened or mapped.
const char* mapFile(const SxString& name, std::size_t size, void** mapping);
/// Undoes a successful mapFile.
void unmapFile(const char* data, std::size_t size, void* mapping);
} // namespace sx::detail
