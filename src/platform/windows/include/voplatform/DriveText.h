#pragma once

// How a path names the drive whose free space is asked about.

#include <cstddef>

namespace voplatform {

/// A drive is the letter, the colon and the separator that begin a path, such as "D:/": the
/// path is cut to these three characters.
inline constexpr std::ptrdiff_t kDriveTextLength = 3;

} // namespace voplatform
