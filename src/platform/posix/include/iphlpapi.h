#pragma once

// The network adapters, as <iphlpapi.h> offers them on Windows.

#include <vowin/network.h>
