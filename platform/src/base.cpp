#include <windows.h>

#include <time.h>
#include <unistd.h>

static thread_local DWORD lastError;

extern "C" DWORD WINAPI GetLastError(void)
{
    return lastError;
}

extern "C" void WINAPI SetLastError(DWORD error)
{
    lastError = error;
}

extern "C" DWORD WINAPI GetCurrentProcessId(void)
{
    return static_cast<DWORD>(getpid());
}

extern "C" DWORD WINAPI GetTickCount(void)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}
