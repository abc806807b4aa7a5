// What a host sees of the dialogs (snapshots to draw) and how it feeds them keys.
#include "dialog_internal.h"

#include <tessel/ui_backend.h>

#include <strings.h>

namespace tessel::platform {

namespace {

ui::ControlKind KindOf(const std::string &className, DWORD style)
{
    if (strcasecmp(className.c_str(), "Button") == 0) {
        switch (style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
            return ui::ControlKind::PushButton;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return ui::ControlKind::RadioButton;
        case BS_GROUPBOX:
            return ui::ControlKind::GroupBox;
        default:
            return ui::ControlKind::CheckBox;
        }
    }
    if (strcasecmp(className.c_str(), "Static") == 0)
        return ui::ControlKind::Label;
    if (strcasecmp(className.c_str(), "Edit") == 0)
        return ui::ControlKind::Edit;
    if (strcasecmp(className.c_str(), "ComboBox") == 0)
        return ui::ControlKind::ComboBox;
    return ui::ControlKind::Other;
}

RECT RectIn(HWND dialog, HWND control)
{
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&rect), 2);
    return rect;
}

void ReadEdit(HWND edit, ui::ControlView &view)
{
    if (auto state = StateOf<EditState>(edit)) {
        view.selectionStart = state->anchor;
        view.selectionEnd = state->caret;
        view.firstLine = state->firstLine;
        view.firstColumn = state->firstColumn;
    }
}

// A key to the dialog's focused control, through the dialog manager first.
void Deliver(HWND dialog, UINT message, WPARAM wParam)
{
    HWND target = GetFocus();
    if (!target || !IsChild(dialog, target))
        target = dialog;
    MSG delivered{};
    delivered.hwnd = target;
    delivered.message = message;
    delivered.wParam = wParam;
    delivered.lParam = 1;
    delivered.time = GetTickCount();
    if (!IsDialogMessageA(dialog, &delivered)) {
        TranslateMessage(&delivered);
        DispatchMessageA(&delivered);
    }
}

} // namespace

} // namespace tessel::platform

using namespace tessel::platform;

bool tessel::ui::DescribeDialog(HWND dialog, DialogView &view)
{
    if (!IsDialog(dialog))
        return false;
    view = DialogView{};
    view.window = dialog;
    view.owner = GetWindow(dialog, GW_OWNER);
    view.caption = WindowText(dialog);
    if (auto state = StateOf<DialogState>(dialog)) {
        view.fontName = state->fontName;
        view.fontPoints = state->fontPoints;
    }
    GetWindowRect(dialog, &view.rect);
    view.visible = IsWindowVisible(dialog) != FALSE;
    HWND focus = GetFocus();
    for (HWND child : ChildWindows(dialog)) {
        ControlView control;
        control.window = child;
        control.id = GetDlgCtrlID(child);
        control.className = WindowClassName(child);
        control.style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
        control.kind = KindOf(control.className, control.style);
        control.rect = RectIn(dialog, child);
        control.text = WindowText(child);
        control.visible = (control.style & WS_VISIBLE) != 0;
        control.enabled = !(control.style & WS_DISABLED);
        control.focused = focus && (focus == child || IsChild(child, focus));
        if (auto button = StateOf<ButtonState>(child)) {
            control.checked = button->check;
            control.isDefault = (control.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        }
        if (auto combo = StateOf<ComboState>(child)) {
            control.items = combo->items;
            control.selection = combo->selection;
            control.dropped = combo->dropped;
            control.listRect = control.rect;
            control.listRect.top = control.rect.bottom;
            control.listRect.bottom = control.rect.top + combo->listHeight;
            if (combo->edit) {
                control.text = WindowText(combo->edit);
                ReadEdit(combo->edit, control);
            } else {
                control.text = combo->selection >= 0 ? combo->items[static_cast<size_t>(combo->selection)] : "";
            }
        }
        if (StateOf<EditState>(child))
            ReadEdit(child, control);
        view.controls.push_back(std::move(control));
    }
    return true;
}

bool tessel::ui::ActivateDialog(HWND dialog)
{
    if (!IsDialog(dialog))
        return false;
    HWND focus = GetFocus();
    if (!focus || !IsChild(dialog, focus))
        SetFocus(dialog); // the dialog hands the focus on to its control
    return true;
}

bool tessel::ui::PressKey(HWND dialog, UINT virtualKey, bool shift)
{
    if (!ActivateDialog(dialog))
        return false;
    SetKeyDown(VK_SHIFT, shift);
    SetKeyDown(static_cast<int>(virtualKey), true);
    Deliver(dialog, WM_KEYDOWN, virtualKey);
    SetKeyDown(static_cast<int>(virtualKey), false);
    if (IsWindow(dialog))
        Deliver(dialog, WM_KEYUP, virtualKey);
    SetKeyDown(VK_SHIFT, false);
    return true;
}

bool tessel::ui::TypeText(HWND dialog, const char *text)
{
    if (!text || !ActivateDialog(dialog))
        return false;
    for (const char *c = text; *c && IsWindow(dialog); ++c)
        Deliver(dialog, WM_CHAR, static_cast<unsigned char>(*c));
    return true;
}

void tessel::ui::PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        bool handled = false;
        for (HWND dialog : Dialogs())
            if (IsWindow(dialog) && IsDialogMessageA(dialog, &message)) {
                handled = true;
                break;
            }
        if (!handled) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}
