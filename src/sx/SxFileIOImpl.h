#pragma once

// Per-platform file primitives behind SxFileIO; see posix/ and windows/.

#include <cstdint>
#include <cstdio>
#include <sx/SxString.h>

namespace sx::detail {
/// Opens name with an fopen mode, creating it with permissions where the platform has them.
/// Returns null and sets errno on failure.
std::FILE* openFile(const SxString& name, const char* mode, int permissions);
int seekFile(std::FILE* file, int64_t offset, int whence);
int64_t tellFile(std::FILE* file);
} // namespace sx::detail
