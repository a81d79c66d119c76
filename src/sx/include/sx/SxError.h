#pragma once

#include <sx/SxString.h>

/// Ends the process with the given exit code after flushing the standard streams.
[[noreturn]] void sxExit(int code);

/// The system's message text for a status code of the platform's API (the Windows error codes,
/// which the POSIX platform layer also uses), without a trailing line end.
SxString sxstrerror(long code);
