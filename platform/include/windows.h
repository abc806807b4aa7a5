// The Win32 subset that the plug-in, the host and the tests use, for POSIX systems.
// Semantics follow the Win32 documentation for every case the callers depend on.
#pragma once

#include "win32/base.h"
#include "win32/files.h"
#include "win32/registry.h"
#include "win32/library.h"
#include "win32/threads.h"
#include "win32/user.h"
#include "win32/windows.h"
#include "win32/dialogs.h"
