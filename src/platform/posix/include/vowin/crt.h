#pragma once

// The Windows C runtime functions the library calls that POSIX spells differently.

#include <ctime>
#include <vowin/types.h>

/// Converts a time to local calendar time, as the Windows runtime does. Returns 0 on success,
/// or EINVAL with *result cleared when either pointer is null or the time cannot be converted.
errno_t _localtime64_s(struct tm* result, const __time64_t* time);

/// The current working directory. With a null buffer the text is allocated with malloc (the
/// caller frees it); otherwise it is written into buffer of maxLength bytes. Returns null on
/// failure.
char* _getcwd(char* buffer, int maxLength);
