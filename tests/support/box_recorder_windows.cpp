// A message box is a dialog of class #32770 with an icon control (id 20 on Windows,
// 1088 under Wine) that none of the plug-in's own dialogs has. When it activates we
// read it and close it with its first button.
#include "tests/support/box_recorder.h"

#include <cstring>

namespace {

BoxRecorder *active;
HHOOK hook;

const int kIconIds[] = {20, 1088};
const int kTextIds[] = {0xFFFF, 100};

// At activation the box itself is not visible yet, so IsWindowVisible is false for
// every control: the control's own style tells whether the box hid it.
bool ShownInBox(HWND control)
{
    return (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

HWND IconControl(HWND box)
{
    for (int id : kIconIds)
        if (HWND control = GetDlgItem(box, id))
            return control;
    return nullptr;
}

UINT IconStyle(HWND box)
{
    HWND control = IconControl(box);
    if (!control || !ShownInBox(control))
        return 0;
    HICON shown = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0));
    struct {
        LPCSTR resource;
        UINT style;
    } const icons[] = {{IDI_WARNING, MB_ICONWARNING},
                       {IDI_ERROR, MB_ICONERROR},
                       {IDI_QUESTION, MB_ICONQUESTION},
                       {IDI_INFORMATION, MB_ICONINFORMATION}};
    for (const auto &icon : icons)
        if (shown && shown == LoadIconA(nullptr, icon.resource))
            return icon.style;
    return shown ? MB_USERICON : 0;
}

bool ButtonShown(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button && ShownInBox(button);
}

UINT ButtonStyle(HWND box)
{
    bool ok = ButtonShown(box, IDOK), cancel = ButtonShown(box, IDCANCEL);
    bool yes = ButtonShown(box, IDYES), no = ButtonShown(box, IDNO);
    if (yes && no)
        return cancel ? MB_YESNOCANCEL : MB_YESNO;
    if (ok && cancel)
        return MB_OKCANCEL;
    return MB_OK;
}

std::string TextOf(HWND box)
{
    char text[4096] = "";
    for (int id : kTextIds)
        if (GetDlgItem(box, id) && GetDlgItemTextA(box, id, text, sizeof text) > 0)
            break;
    return text;
}

LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && active) {
        HWND box = reinterpret_cast<HWND>(wParam);
        char className[32] = "";
        GetClassNameA(box, className, sizeof className);
        if (strcmp(className, "#32770") == 0 && IconControl(box)) {
            char caption[512] = "";
            GetWindowTextA(box, caption, sizeof caption);
            UINT buttons = ButtonStyle(box);
            active->Add({GetWindow(box, GW_OWNER), caption, TextOf(box), IconStyle(box), buttons});
            PostMessageA(box, WM_COMMAND, buttons == MB_YESNO || buttons == MB_YESNOCANCEL ? IDYES : IDOK, 0);
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

} // namespace

BoxRecorder::BoxRecorder() : capture(nullptr)
{
    active = this;
    hook = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
}

BoxRecorder::~BoxRecorder()
{
    UnhookWindowsHookEx(hook);
    active = nullptr;
}
