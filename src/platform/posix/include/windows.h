#pragma once

// The subset of the Windows API that the library calls, for POSIX systems. Names, types and
// status codes are those of Windows so that the library's code is the same on both platforms.
// Each service has a header of its own under vowin/; this one gathers them.

#include <vowin/crt.h>
#include <vowin/files.h>
#include <vowin/handle.h>
#include <vowin/library.h>
#include <vowin/process.h>
#include <vowin/registry.h>
#include <vowin/security.h>
#include <vowin/shell.h>
#include <vowin/sysinfo.h>
#include <vowin/systime.h>
#include <vowin/types.h>
#include <vowin/window.h>
#include <vowin/winerror.h>
