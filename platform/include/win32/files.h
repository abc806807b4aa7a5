// Files over POSIX descriptors, with the Win32 semantics the readers rely on: short
// reads at the end, seeks past the end succeed, seeks before the start fail and
// leave the position as it was. Only regular files open: a FIFO or a device is refused
// at once with ERROR_ACCESS_DENIED, where a blocking open could hang the caller.
#pragma once

#include "base.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

WIN32_EXTERN HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                       DWORD disposition, DWORD attributes, HANDLE templateFile);
WIN32_EXTERN BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
WIN32_EXTERN BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                   LPOVERLAPPED overlapped);
WIN32_EXTERN DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
WIN32_EXTERN BOOL WINAPI CloseHandle(HANDLE object);
WIN32_EXTERN BOOL WINAPI DeleteFileA(LPCSTR name);
WIN32_EXTERN BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES security);
WIN32_EXTERN BOOL WINAPI RemoveDirectoryA(LPCSTR name);
// The temporary folder with its separator at the end ("/tmp/"), as Win32 gives it.
WIN32_EXTERN DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer);
