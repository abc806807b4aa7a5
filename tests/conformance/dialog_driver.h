// Driving the plug-in's dialogs as a user would, with plain Win32 calls that mean the
// same on both targets: keys go to the focused control through IsDialogMessageA (the
// combo box's edit field gets WM_CHAR, which raises CBN_EDITUPDATE), a paste is one
// EM_REPLACESEL, the close box is WM_SYSCOMMAND SC_CLOSE.
#pragma once

#include "tests/support/box_recorder.h"
#include "tests/support/host_window.h"
#include "tests/support/test_host.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#ifndef SC_CLOSE
#define SC_CLOSE 0xF060
#endif

// The top-level dialogs with that caption, in any order.
inline std::vector<HWND> DialogsCaptioned(const char *caption)
{
    std::vector<HWND> found;
    HWND at = nullptr;
    while ((at = FindWindowExA(nullptr, at, "#32770", caption)) != nullptr)
        found.push_back(at);
    return found;
}

// The dialog among now that was not among before, or null.
inline HWND Appeared(const std::vector<HWND> &before, const std::vector<HWND> &now)
{
    for (HWND dialog : now)
        if (std::find(before.begin(), before.end(), dialog) == before.end())
            return dialog;
    return nullptr;
}

// Hands the thread's queued messages to the dialog first, as a host's loop does.
inline void PumpDialog(HWND dialog)
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (IsWindow(dialog) && IsDialogMessageA(dialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

inline void DeliverToFocus(HWND dialog, UINT message, WPARAM wParam)
{
    MSG delivered{};
    delivered.hwnd = GetFocus();
    delivered.message = message;
    delivered.wParam = wParam;
    delivered.lParam = 1;
    delivered.time = GetTickCount();
    if (!delivered.hwnd || !IsWindow(dialog) || !IsDialogMessageA(dialog, &delivered)) {
        TranslateMessage(&delivered);
        DispatchMessageA(&delivered);
    }
}

// One key pressed and let go.
inline void PressKey(HWND dialog, UINT key)
{
    DeliverToFocus(dialog, WM_KEYDOWN, key);
    if (IsWindow(dialog) && GetFocus())
        DeliverToFocus(dialog, WM_KEYUP, key);
    PumpDialog(dialog);
}

// Characters typed one at a time into the focused control.
inline void TypeText(HWND dialog, const char *text)
{
    for (const char *c = text; *c; ++c) {
        DeliverToFocus(dialog, WM_CHAR, static_cast<unsigned char>(*c));
        PumpDialog(dialog);
    }
}

// Text pasted at once over the focused edit field's selection.
inline void PasteText(HWND dialog, const char *text)
{
    SendMessageA(GetFocus(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
    PumpDialog(dialog);
}

inline std::string ControlText(HWND dialog, int id)
{
    char text[4096] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// A combo box's own edit field.
inline HWND ComboEdit(HWND combo)
{
    return FindWindowExA(combo, nullptr, "Edit", nullptr);
}

inline std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    std::string lower(name);
    for (char &c : lower)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return lower;
}

// What a control of a template is, as read back from the created dialog.
struct ExpectedControl {
    int id;
    const char *className; // lower case
    const char *text;      // nullptr: not compared (combo boxes, edits)
    DWORD style;           // the bits of styleMask that must be set
    DWORD styleMask;
    int x, y, cx, cy;      // dialog units
};

// The control's place in the dialog's client area, in the dialog's pixels.
inline RECT PlaceOf(HWND dialog, HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&rect), 2);
    return rect;
}

// Dialog units in the dialog's pixels, each value mapped as the dialog manager maps it.
inline RECT Pixels(HWND dialog, int x, int y, int cx, int cy)
{
    RECT position{x, y, cx, cy};
    MapDialogRect(dialog, &position);
    return position; // left, top, width, height
}

// Walks the dialog's children in order and compares each with the template.
inline void ExpectControls(HWND dialog, const std::vector<ExpectedControl> &expected)
{
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const ExpectedControl &want : expected) {
        ASSERT_NE(nullptr, control) << "no control where id " << want.id << " was expected";
        SCOPED_TRACE("control " + std::to_string(want.id));
        EXPECT_EQ(want.id, GetDlgCtrlID(control));
        EXPECT_EQ(want.className, ClassOf(control));
        if (want.text) {
            char text[64] = "";
            GetWindowTextA(control, text, sizeof text);
            EXPECT_STREQ(want.text, text);
        }
        DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
        EXPECT_EQ(want.style, style & want.styleMask) << std::hex << "style 0x" << style;
        EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE), style & (WS_CHILD | WS_VISIBLE));
        RECT place = PlaceOf(dialog, control);
        RECT pixels = Pixels(dialog, want.x, want.y, want.cx, want.cy);
        EXPECT_EQ(pixels.left, place.left) << "x";
        EXPECT_EQ(pixels.top, place.top) << "y";
        EXPECT_EQ(pixels.right, place.right - place.left) << "width";
        if (want.className == std::string("combobox")) {
            // A combo box's window is the closed box; the template height holds the
            // open list as well.
            RECT dropped{};
            SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            EXPECT_EQ(pixels.bottom, dropped.bottom - dropped.top) << "height with the list";
            EXPECT_LT(place.bottom - place.top, pixels.bottom) << "closed height";
        } else {
            EXPECT_EQ(pixels.bottom, place.bottom - place.top) << "height";
        }
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, control) << "more controls than the template has";
}

// The dialog's client area is the template's size.
inline void ExpectClientSize(HWND dialog, int cx, int cy)
{
    RECT client;
    GetClientRect(dialog, &client);
    RECT pixels = Pixels(dialog, 0, 0, cx, cy);
    EXPECT_EQ(pixels.right, client.right);
    EXPECT_EQ(pixels.bottom, client.bottom);
}
