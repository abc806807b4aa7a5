// Dialogs from resource templates and the controls they use: buttons (push, check box,
// auto radio button, group box), edits (single- and multi-line), statics and combo
// boxes (drop-down list, and drop-down with an edit field).
//
// Dialog units map one to one onto this platform's coordinates (base units 4 x 8), so
// GetWindowRect and GetClientRect of a dialog and its controls read in dialog units.
#pragma once

#include "windows.h"

typedef INT_PTR(CALLBACK *DLGPROC)(HWND, UINT, WPARAM, LPARAM);

// Resources.
#define MAKEINTRESOURCEA(i) ((LPSTR)(ULONG_PTR)((WORD)(i)))
#define IS_INTRESOURCE(p) ((((ULONG_PTR)(p)) >> 16) == 0)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define MAKELANGID(primary, sub) ((((WORD)(sub)) << 10) | (WORD)(primary))
#define LANG_ENGLISH 0x09
#define SUBLANG_ENGLISH_US 0x01

#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815L

// Dialog styles.
#define DS_ABSALIGN 0x01L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L

// Dialog window extra bytes.
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC ((int)sizeof(LRESULT))
#define DLGWINDOWEXTRA 48

// Dialog messages and codes.
#define DM_GETDEFID (WM_USER + 0)
#define DC_HASDEFID 0x534B

#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTTAB 0x0002
#define DLGC_WANTALLKEYS 0x0004
#define DLGC_WANTMESSAGE 0x0004
#define DLGC_HASSETSEL 0x0008
#define DLGC_DEFPUSHBUTTON 0x0010
#define DLGC_UNDEFPUSHBUTTON 0x0020
#define DLGC_RADIOBUTTON 0x0040
#define DLGC_WANTCHARS 0x0080
#define DLGC_STATIC 0x0100
#define DLGC_BUTTON 0x2000

// Buttons.
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_CHECKBOX 0x00000002L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_RADIOBUTTON 0x00000004L
#define BS_GROUPBOX 0x00000007L
#define BS_AUTORADIOBUTTON 0x00000009L
#define BS_TYPEMASK 0x0000000FL

#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_SETSTATE 0x00F3
#define BM_SETSTYLE 0x00F4
#define BM_CLICK 0x00F5

#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#define BST_INDETERMINATE 0x0002

#define BN_CLICKED 0

// Statics.
#define SS_LEFT 0x00000000L
#define SS_TYPEMASK 0x0000001FL

// Edits.
#define ES_MULTILINE 0x0004L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L
#define ES_WANTRETURN 0x1000L

#define EM_GETSEL 0x00B0
#define EM_SETSEL 0x00B1
#define EM_GETLINECOUNT 0x00BA
#define EM_REPLACESEL 0x00C2
#define EM_GETFIRSTVISIBLELINE 0x00CE

#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400

// Combo boxes.
#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L
#define CBS_SORT 0x0100L

#define CB_GETEDITSEL 0x0140
#define CB_SETEDITSEL 0x0142
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_INSERTSTRING 0x014A
#define CB_SETCURSEL 0x014E
#define CB_GETDROPPEDCONTROLRECT 0x0152
#define CB_GETDROPPEDSTATE 0x0157

#define CB_ERR (-1)

#define CBN_SELCHANGE 1
#define CBN_EDITCHANGE 5
#define CBN_EDITUPDATE 6
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8
#define CBN_SELENDOK 9
#define CBN_SELENDCANCEL 10

// Resources of a module (the dlopen handle natively; NULL is the program itself).
WIN32_EXTERN HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
WIN32_EXTERN HRSRC WINAPI FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language);
WIN32_EXTERN HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
WIN32_EXTERN LPVOID WINAPI LockResource(HGLOBAL data);
WIN32_EXTERN DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);

WIN32_EXTERN HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure,
                                            LPARAM param);
WIN32_EXTERN LRESULT WINAPI DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
WIN32_EXTERN BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG message);
WIN32_EXTERN LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
WIN32_EXTERN BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
WIN32_EXTERN UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size);
WIN32_EXTERN BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check);
WIN32_EXTERN UINT WINAPI IsDlgButtonChecked(HWND dialog, int id);
WIN32_EXTERN BOOL WINAPI CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId);
WIN32_EXTERN HWND WINAPI GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
WIN32_EXTERN HWND WINAPI GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);
WIN32_EXTERN BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect);
WIN32_EXTERN HWND WINAPI FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName);
WIN32_EXTERN SHORT WINAPI GetKeyState(int virtualKey);
