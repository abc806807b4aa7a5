// Loading modules: shared objects through the dynamic loader.
#pragma once

#include "base.h"

typedef intptr_t(WINAPI *FARPROC)(void);

WIN32_EXTERN HMODULE WINAPI LoadLibraryA(LPCSTR name);
WIN32_EXTERN FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
