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
    int x, y, cx, cy; // dialog units
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
        if (want.className == std::string("edit")) {
            // The template's border shows as the sunken client edge.
            EXPECT_EQ(0u, style & WS_BORDER);
            EXPECT_NE(0, GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
        }
        EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE), style & (WS_CHILD | WS_VISIBLE));
        RECT place = PlaceOf(dialog, control);
        RECT pixels = Pixels(dialog, want.x, want.y, want.cx, want.cy);
        EXPECT_EQ(pixels.left, place.left) << "x";
        EXPECT_EQ(pixels.top, place.top) << "y";
        EXPECT_EQ(pixels.right, place.right - place.left) << "width";
        if (want.className == std::string("combobox")) {
            // A combo box's window is the closed box; the template height holds the
            // open list as well. Windows reports that whole height as the dropped
            // rectangle; Wine reports it less the closed box and its borders.
            RECT dropped{};
            SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&dropped), 2);
            LONG closed = place.bottom - place.top;
            LONG reported = dropped.bottom - dropped.top;
            EXPECT_LT(closed, pixels.bottom) << "closed height";
            EXPECT_EQ(place.top, dropped.top);
            EXPECT_TRUE(reported <= pixels.bottom && reported >= pixels.bottom - closed - 5)
                << "dropped height " << reported << " with the box " << closed << ", template " << pixels.bottom;
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

// A dialog template as the resource holds it (the DIALOG form windres writes).
struct TemplateItem {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    WORD id;
    std::string className; // lower case, whether named by atom or by string
    std::string text;
};
struct TemplateResource {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    WORD fontPoints = 0;
    std::string fontName;
    std::vector<TemplateItem> items;
};

class TemplateReader {
public:
    TemplateReader(const BYTE *data, DWORD size) : data(data), size(size) {}
    bool ok = true;
    WORD Word()
    {
        if (offset + 2 > size) {
            ok = false;
            return 0;
        }
        WORD value = static_cast<WORD>(data[offset] | (data[offset + 1] << 8));
        offset += 2;
        return value;
    }
    DWORD Dword()
    {
        WORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    std::string String()
    {
        std::string text;
        while (ok) {
            WORD unit = Word();
            if (!unit)
                break;
            text.push_back(static_cast<char>(unit));
        }
        return text;
    }
    void Align() { offset = (offset + 3) & ~3u; }
    WORD Peek() const { return offset + 2 <= size ? static_cast<WORD>(data[offset] | (data[offset + 1] << 8)) : 0; }

private:
    const BYTE *data;
    DWORD size;
    DWORD offset = 0;
};

// Template id of module in US English; false (with a failure) when it is not there.
inline bool ReadTemplate(HMODULE module, int id, TemplateResource &parsed)
{
    HRSRC resource =
        FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    EXPECT_NE(nullptr, resource) << "template " << id << " in US English";
    if (!resource)
        return false;
    TemplateReader reader(static_cast<const BYTE *>(LockResource(LoadResource(module, resource))),
                          SizeofResource(module, resource));
    parsed.style = reader.Dword();
    reader.Dword(); // extended style
    WORD count = reader.Word();
    parsed.x = static_cast<short>(reader.Word());
    parsed.y = static_cast<short>(reader.Word());
    parsed.cx = static_cast<short>(reader.Word());
    parsed.cy = static_cast<short>(reader.Word());
    EXPECT_EQ(0, reader.Word()) << "no menu";
    EXPECT_EQ(0, reader.Word()) << "the dialog class";
    parsed.caption = reader.String();
    if (parsed.style & DS_SETFONT) {
        parsed.fontPoints = reader.Word();
        parsed.fontName = reader.String();
    }
    for (WORD i = 0; i < count && reader.ok; ++i) {
        reader.Align();
        TemplateItem item{};
        item.style = reader.Dword();
        item.exStyle = reader.Dword();
        item.x = static_cast<short>(reader.Word());
        item.y = static_cast<short>(reader.Word());
        item.cx = static_cast<short>(reader.Word());
        item.cy = static_cast<short>(reader.Word());
        item.id = reader.Word();
        if (reader.Peek() == 0xFFFF) {
            reader.Word();
            const char *const atoms[] = {"button", "edit", "static", "listbox", "scrollbar", "combobox"};
            WORD atom = reader.Word();
            item.className = atom >= 0x80 && atom <= 0x85 ? atoms[atom - 0x80] : "?";
        } else {
            item.className = reader.String();
            for (char &c : item.className)
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        }
        item.text = reader.String();
        WORD extra = reader.Word();
        for (WORD skip = 0; skip < extra; ++skip)
            reader.Word();
        parsed.items.push_back(item);
    }
    EXPECT_TRUE(reader.ok) << "template " << id << " cut short";
    return reader.ok;
}

inline void ExpectTemplateItems(const TemplateItem *expected, size_t count, const TemplateResource &parsed)
{
    ASSERT_EQ(count, parsed.items.size());
    for (size_t i = 0; i < count; ++i) {
        const TemplateItem &want = expected[i];
        const TemplateItem &got = parsed.items[i];
        SCOPED_TRACE("item " + std::to_string(i) + " \"" + want.text + "\"");
        EXPECT_EQ(want.id, got.id);
        EXPECT_EQ(want.className, got.className);
        EXPECT_EQ(want.text, got.text);
        EXPECT_EQ(want.style, got.style) << std::hex << "0x" << want.style << " expected, 0x" << got.style << " found";
        EXPECT_EQ(want.exStyle, got.exStyle);
        EXPECT_EQ(want.x, got.x);
        EXPECT_EQ(want.y, got.y);
        EXPECT_EQ(want.cx, got.cx);
        EXPECT_EQ(want.cy, got.cy);
    }
}
