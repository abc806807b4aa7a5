// The registry: HKEY_CURRENT_USER kept in one .reg text file (see registry_store.cpp).
#pragma once

#include "base.h"

typedef struct HKEY__ *HKEY;
typedef HKEY *PHKEY;
typedef DWORD REGSAM;

#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)

#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

#define REG_OPTION_NON_VOLATILE 0x00000000u
#define REG_CREATED_NEW_KEY 0x00000001u
#define REG_OPENED_EXISTING_KEY 0x00000002u

#define KEY_READ 0x20019u
#define KEY_ALL_ACCESS 0xF003Fu

WIN32_EXTERN LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                                         REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                                         LPDWORD disposition);
WIN32_EXTERN LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
WIN32_EXTERN LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                          LPDWORD size);
WIN32_EXTERN LONG WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                                        DWORD size);
WIN32_EXTERN LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR name);
WIN32_EXTERN LONG WINAPI RegDeleteTreeA(HKEY key, LPCSTR subKey);
WIN32_EXTERN LONG WINAPI RegCloseKey(HKEY key);
