// Buttons (push buttons, check boxes, radio buttons, group boxes) and static text.
#include "dialog_internal.h"

namespace tessel::platform {

namespace {

DWORD TypeOf(HWND button)
{
    return static_cast<DWORD>(GetWindowLongA(button, GWL_STYLE)) & BS_TYPEMASK;
}

bool IsRadio(DWORD type)
{
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

bool IsCheckable(DWORD type)
{
    return IsRadio(type) || type == BS_CHECKBOX || type == BS_AUTOCHECKBOX;
}

// Checking an automatic radio button clears the other automatic ones of its group.
void ClearGroup(HWND button)
{
    HWND parent = GetParent(button);
    HWND start = GetNextDlgGroupItem(parent, button, TRUE);
    HWND sibling = start;
    while (sibling) {
        if (sibling != button && TypeOf(sibling) == BS_AUTORADIOBUTTON)
            SendMessageA(sibling, BM_SETCHECK, BST_UNCHECKED, 0);
        sibling = GetNextDlgGroupItem(parent, sibling, FALSE);
        if (sibling == start)
            break;
    }
}

// What a click (mouse, BM_CLICK, or the space bar let go) does.
void Click(HWND button, const std::shared_ptr<ButtonState> &state)
{
    DWORD type = TypeOf(button);
    if (type == BS_AUTOCHECKBOX)
        SendMessageA(button, BM_SETCHECK, state->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    else if (type == BS_AUTORADIOBUTTON)
        SendMessageA(button, BM_SETCHECK, BST_CHECKED, 0);
    NotifyParent(button, BN_CLICKED);
}

} // namespace

LRESULT CALLBACK ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        AttachState<ButtonState>(button);
        return DefWindowProcA(button, message, wParam, lParam);
    }
    auto state = StateOf<ButtonState>(button);
    if (!state)
        return DefWindowProcA(button, message, wParam, lParam);
    DWORD type = TypeOf(button);
    switch (message) {
    case WM_GETDLGCODE:
        switch (type) {
        case BS_PUSHBUTTON:
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_DEFPUSHBUTTON:
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX:
            return DLGC_STATIC;
        default:
            return DLGC_BUTTON;
        }
    case BM_GETCHECK:
        return IsCheckable(type) ? state->check : BST_UNCHECKED;
    case BM_SETCHECK: {
        if (!IsCheckable(type))
            return 0;
        UINT check = wParam ? BST_CHECKED : BST_UNCHECKED;
        // The checked radio button of a group is the one Tab reaches.
        if (IsRadio(type)) {
            DWORD style = static_cast<DWORD>(GetWindowLongA(button, GWL_STYLE));
            DWORD wanted = check ? (style | WS_TABSTOP) : (style & ~static_cast<DWORD>(WS_TABSTOP));
            if (wanted != style)
                SetWindowLongA(button, GWL_STYLE, static_cast<LONG>(wanted));
        }
        if (state->check != check) {
            state->check = check;
            WindowChanged(button, WindowChange::State);
        }
        if (type == BS_AUTORADIOBUTTON && check == BST_CHECKED && (GetWindowLongA(button, GWL_STYLE) & WS_CHILD))
            ClearGroup(button);
        return 0;
    }
    case BM_SETSTATE:
        if (state->pushed != (wParam != 0)) {
            state->pushed = wParam != 0;
            WindowChanged(button, WindowChange::State);
        }
        return 0;
    case BM_SETSTYLE: {
        DWORD style = static_cast<DWORD>(GetWindowLongA(button, GWL_STYLE));
        SetWindowLongA(button, GWL_STYLE,
                       static_cast<LONG>((style & ~static_cast<DWORD>(BS_TYPEMASK)) | (wParam & BS_TYPEMASK)));
        return 0;
    }
    case BM_CLICK:
        // As a mouse click: the button takes the focus, then acts.
        if (type != BS_GROUPBOX && IsWindowEnabled(button)) {
            SetFocus(button);
            Click(button, state);
        }
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE && type != BS_GROUPBOX)
            SendMessageA(button, BM_SETSTATE, TRUE, 0);
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && state->pushed) {
            SendMessageA(button, BM_SETSTATE, FALSE, 0);
            Click(button, state);
        }
        return 0;
    case WM_KILLFOCUS:
        if (state->pushed)
            SendMessageA(button, BM_SETSTATE, FALSE, 0);
        return 0;
    default:
        return DefWindowProcA(button, message, wParam, lParam);
    }
}

LRESULT CALLBACK StaticProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETDLGCODE)
        return DLGC_STATIC;
    return DefWindowProcA(label, message, wParam, lParam);
}

} // namespace tessel::platform
