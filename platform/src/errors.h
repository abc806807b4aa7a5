#pragma once

#include <windows.h>

namespace tessel::platform {
// The Win32 error code closest to a POSIX errno value.
DWORD ErrorFromErrno(int error);
} // namespace tessel::platform
