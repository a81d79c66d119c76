#pragma once

// Where the archive tools live on Windows: the places the library has always used.

namespace voplatform {

/// The 7-Zip tool, as a path below the library's root directory.
inline constexpr char k7zBelowRoot[] = "/7z/7zr.exe";
/// The tar tool that ships with the system.
inline constexpr char kTarTool[] = "C:/Windows/System32/tar.exe";

} // namespace voplatform
