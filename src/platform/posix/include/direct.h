#pragma once

// The working-directory functions of the runtime, as <direct.h> offers them on Windows.

#include <vowin/crt.h>
