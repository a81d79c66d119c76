#pragma once

// Seams for tests of the code above the layer: failures and machine facts that a test cannot
// bring about for real (a process snapshot the kernel refuses, eight processors on a machine
// with two, adapters with chosen addresses). Each setting holds for the whole process until it
// is changed back; nothing in the layer sets them itself.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>
#include <vowin/types.h>

namespace voplatform {

/// Makes the next call of the named function (its Windows name, such as "OpenProcessToken")
/// fail with status, once, from whichever thread makes it. Functions that honour this: the
/// snapshot functions, OpenProcess, OpenProcessToken, GetTokenInformation, GetDiskFreeSpaceExW,
/// CreateSymbolicLinkW, GetUserNameW, gethostname and GetAdaptersInfo.
void failNextCall(std::string_view function, DWORD status);

/// Drops every armed failure that has not fired yet.
void clearInjectedFailures();

/// Makes GetSystemInfo report count processors; 0 returns to the real count.
void setProcessorCount(DWORD count);

/// Makes GetAdaptersInfo report one adapter per element with those address bytes (at most 8
/// each), in the order given; nullopt returns to the system's interfaces.
void setAdapterAddresses(std::optional<std::vector<std::vector<BYTE>>> addresses);

} // namespace voplatform
