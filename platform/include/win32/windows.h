// Windows, window classes and per-thread message queues.
//
// A window belongs to the thread that created it; that thread's queue receives the
// messages posted to it, and only that thread runs its window procedure. Any thread may
// post; SendMessageA calls the procedure directly and is refused (ERROR_ACCESS_DENIED)
// from any other thread, since every caller here posts across threads. A thread's
// windows are dropped (without messages) when it ends.
//
// Thread ids are those of GetCurrentThreadId (the kernel's thread ids on Linux).
#pragma once

#include "base.h"
#include "threads.h"
#include "user.h"

#ifndef MAKELPARAM
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#endif

typedef WORD ATOM;
typedef short SHORT;
typedef LRESULT(CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HANDLE hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA, *LPWNDCLASSA;

typedef struct tagCREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTA, *LPCREATESTRUCTA;

// Error codes of the window calls.
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_INVALID_INDEX 1413L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_NOT_ENOUGH_QUOTA 1816L

// Waits (shared with the thread calls).
#ifndef INFINITE
#define INFINITE 0xFFFFFFFF
#endif
#ifndef WAIT_OBJECT_0
#define WAIT_OBJECT_0 0x00000000L
#endif
#ifndef WAIT_TIMEOUT
#define WAIT_TIMEOUT 258L
#endif
#ifndef WAIT_FAILED
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#endif

// Window styles.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)

#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_NOPARENTNOTIFY 0x00000004L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_CONTROLPARENT 0x00010000L

#define CW_USEDEFAULT ((int)0x80000000)
#define HWND_MESSAGE ((HWND)(LONG_PTR)-3)

// Window longs.
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)

// GetWindow relations.
#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

// PeekMessageA options.
#define PM_REMOVE 0x0001

// MsgWaitForMultipleObjects wake masks (every kind of input wakes the wait here).
#define QS_ALLINPUT 0x04FF

// Messages.
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_CLOSE 0x0010
#define WM_SHOWWINDOW 0x0018
#define WM_NEXTDLGCTL 0x0028
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_GETDLGCODE 0x0087
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSTATIC 0x0138

// WM_SYSCOMMAND codes.
#define SC_CLOSE 0xF060

// Virtual keys.
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_DELETE 0x2E
#define VK_F4 0x73

WIN32_EXTERN ATOM WINAPI RegisterClassA(const WNDCLASSA *windowClass);
WIN32_EXTERN int WINAPI GetClassNameA(HWND window, LPSTR name, int size);

WIN32_EXTERN HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                                         int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                         LPVOID param);
#define CreateWindowA(className, windowName, style, x, y, width, height, parent, menu, instance, param)                \
    CreateWindowExA(0, className, windowName, style, x, y, width, height, parent, menu, instance, param)
WIN32_EXTERN BOOL WINAPI DestroyWindow(HWND window);
WIN32_EXTERN BOOL WINAPI IsWindow(HWND window);
WIN32_EXTERN LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

WIN32_EXTERN BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT remove);
WIN32_EXTERN BOOL WINAPI TranslateMessage(const MSG *message);
WIN32_EXTERN LRESULT WINAPI DispatchMessageA(const MSG *message);
WIN32_EXTERN BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WIN32_EXTERN LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Waits until a message is in the calling thread's queue or the time has passed. Only count 0 is supported here:
// WAIT_OBJECT_0 means input is waiting.
WIN32_EXTERN DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL waitAll,
                                                    DWORD milliseconds, DWORD wakeMask);

WIN32_EXTERN LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index);
WIN32_EXTERN LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
WIN32_EXTERN LONG WINAPI GetWindowLongA(HWND window, int index);
WIN32_EXTERN LONG WINAPI SetWindowLongA(HWND window, int index, LONG value);

WIN32_EXTERN int WINAPI GetWindowTextA(HWND window, LPSTR text, int size);
WIN32_EXTERN int WINAPI GetWindowTextLengthA(HWND window);

WIN32_EXTERN BOOL WINAPI ShowWindow(HWND window, int command);
WIN32_EXTERN BOOL WINAPI IsWindowVisible(HWND window);
WIN32_EXTERN BOOL WINAPI IsWindowEnabled(HWND window);

WIN32_EXTERN HWND WINAPI GetParent(HWND window);
WIN32_EXTERN HWND WINAPI GetWindow(HWND window, UINT relation);
WIN32_EXTERN BOOL WINAPI IsChild(HWND parent, HWND window);
WIN32_EXTERN HWND WINAPI GetDlgItem(HWND dialog, int id);
WIN32_EXTERN int WINAPI GetDlgCtrlID(HWND window);

WIN32_EXTERN HWND WINAPI SetFocus(HWND window);
WIN32_EXTERN HWND WINAPI GetFocus(void);

// Positions: window rectangles are in the parent's client coordinates for children
// and screen coordinates for top-level windows; there is no frame, so the client
// rectangle is the window's own size.
WIN32_EXTERN BOOL WINAPI GetWindowRect(HWND window, LPRECT rect);
WIN32_EXTERN BOOL WINAPI GetClientRect(HWND window, LPRECT rect);
// Moves and sizes a window (parent client coordinates for children); no messages.
WIN32_EXTERN BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
WIN32_EXTERN int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count);
