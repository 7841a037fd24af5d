// English texts for Win32 error codes, for the targets that emulate the Win32 API (POSIX and the
// simulated machine). They read as Windows' own texts do. On Windows FormatMessage is used.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace plat {

std::string Win32ErrorText(DWORD code);

}  // namespace plat
