// Threads and waits: threads run at once, their handles are waitable until closed,
// and closing a handle does not stop its thread.
#pragma once

#include "base.h"

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define CREATE_SUSPENDED 0x00000004u

typedef DWORD(WINAPI *LPTHREAD_START_ROUTINE)(LPVOID parameter);

// Runs start(parameter) on a new thread. CREATE_SUSPENDED is not offered.
WIN32_EXTERN HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                                        LPVOID parameter, DWORD flags, LPDWORD threadId);
// WAIT_OBJECT_0 once the thread has ended, WAIT_TIMEOUT after timeoutMs (INFINITE:
// no limit), WAIT_FAILED for a handle that is not a thread's.
WIN32_EXTERN DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD timeoutMs);
WIN32_EXTERN DWORD WINAPI GetCurrentThreadId(void);
// At least ms milliseconds; 0 gives up the rest of the time slice.
WIN32_EXTERN void WINAPI Sleep(DWORD ms);
