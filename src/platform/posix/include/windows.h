#pragma once

// The subset of the Windows API that the library calls, for POSIX systems. Names, types and
// status codes are those of Windows so that the library's code is the same on both platforms.
// Each service has a header of its own under vowin/; this one gathers them.

#include <vowin/types.h>
#include <vowin/crt.h>
#include <vowin/systime.h>
#include <vowin/shell.h>
#include <vowin/library.h>
#include <vowin/winerror.h>
#include <vowin/registry.h>
