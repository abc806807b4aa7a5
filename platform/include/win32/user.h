// Message boxes with their buttons and answers, and WM_USER, where a program's own
// messages begin.
#pragma once

#include "base.h"

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNO 0x00000004u
#define MB_ICONHAND 0x00000010u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONMASK 0x000000F0u

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define WM_USER 0x0400

WIN32_EXTERN int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
