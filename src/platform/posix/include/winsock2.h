#pragma once

// Windows Sockets start-up and the host name, as <winsock2.h> offers them on Windows.

#include <vowin/network.h>
