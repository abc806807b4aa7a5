// fopen mode letters. Close-on-exec ("e") is a glibc extension: Microsoft's runtimes
// reject the whole call when they meet it (Wine ignores it, which would hide that).
#pragma once

#ifdef _WIN32
#define TESSEL_FOPEN_CLOEXEC ""
#else
#define TESSEL_FOPEN_CLOEXEC "e"
#endif
