#pragma once

// The log's state seen from the library's other units.

#include <sx/SxString.h>

namespace vo::detail {

/// True when path names the open log file (the same file, through links too).
bool isLogFile(const SxString& path);

} // namespace vo::detail
