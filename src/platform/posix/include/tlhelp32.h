#pragma once

// Process snapshots, as <tlhelp32.h> offers them on Windows.

#include <vowin/toolhelp.h>
