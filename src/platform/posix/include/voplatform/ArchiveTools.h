#pragma once

// Where the archive tools live on POSIX: the system's own, the 7-Zip one reached through a link
// that the build and the install place below the root directory.

namespace voplatform {

/// The 7-Zip tool, as a path below the library's root directory (a link to the system's 7zr).
inline constexpr char k7zBelowRoot[] = "/7z/7zr";
/// The system's tar tool.
inline constexpr char kTarTool[] = "/usr/bin/tar";

} // namespace voplatform
