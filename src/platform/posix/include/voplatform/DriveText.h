#pragma once

// How a path names the drive whose free space is asked about.

#include <cstddef>

namespace voplatform {

/// POSIX has no drive letters: the file system that holds the path itself is asked about, so
/// the whole path is kept (0: no cut).
inline constexpr std::ptrdiff_t kDriveTextLength = 0;

} // namespace voplatform
