#pragma once

#include <sx/SxExport.h>

/// Writes the full path of the running executable into buffer as NUL-terminated UTF-8 and
/// returns its length in bytes, or -1 (with an empty buffer) when it is unknown or longer than
/// size - 1 bytes.
SXUTIL_API long sxGetExecPath(char* buffer, long size);
