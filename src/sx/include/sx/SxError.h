#pragma once

#include <sx/SxExport.h>
#include <sx/SxString.h>

/// Ends the process with the given exit code after flushing the standard streams.
[[noreturn]] SXUTIL_API void sxExit(int code);

/// Ends the process with exit code 1 after writing the abnormal-stop banner, naming file and
/// line, to standard error. For broken preconditions that cannot be reported otherwise.
[[noreturn]] SXUTIL_API void sxFatalStop(const char* file, int line);

/// The system's message text for a status code of the platform's API (the Windows error codes,
/// which the POSIX platform layer also uses), without a trailing line end.
SXUTIL_API SxString sxstrerror(long code);
