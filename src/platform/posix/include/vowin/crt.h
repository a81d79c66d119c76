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
/// _getcwd in UTF-16: with a null buffer the text is allocated with malloc (the caller frees
/// it); otherwise it is written into buffer of maxLength units. Returns null on failure.
WCHAR* _wgetcwd(WCHAR* buffer, int maxLength);

/// The current time in seconds since 1970-01-01 00:00:00 UTC, also stored in *time when it is
/// not null.
__time64_t _time64(__time64_t* time);

/// Converts a time to local calendar time in a record owned by the calling thread, valid until
/// its next call. Returns null when the time cannot be converted.
struct tm* _localtime64(const __time64_t* time);

/// Converts a time to UTC calendar time. Returns 0 on success, or EINVAL with *result cleared
/// when either pointer is null or the time cannot be converted.
errno_t _gmtime64_s(struct tm* result, const __time64_t* time);
