// The dialog manager: dialogs built from templates, the default dialog procedure, and
// keyboard navigation (Tab order, arrow keys in a group, Enter and Escape).
#include "dialog_internal.h"

#include <tessel/ui_backend.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

#include <strings.h>

namespace tessel::platform {

namespace {

constexpr char kDialogClass[] = "#32770";
constexpr DWORD kDialogExtraStyles = WS_EX_CONTROLPARENT;

std::mutex dialogsMutex;

std::vector<HWND> &DialogList()
{
    static auto *dialogs = new std::vector<HWND>;
    return *dialogs;
}

thread_local bool keysDown[256];

LRESULT DialogCode(HWND control, const MSG *message = nullptr)
{
    return SendMessageA(control, WM_GETDLGCODE, message ? message->wParam : 0, reinterpret_cast<LPARAM>(message));
}

// The dialog's child that holds window (a combo box for its edit field).
HWND TopControl(HWND dialog, HWND window)
{
    while (window && GetParent(window) != dialog) {
        if (!(GetWindowLongA(window, GWL_STYLE) & WS_CHILD))
            return nullptr;
        window = GetParent(window);
    }
    return window;
}

bool Eligible(HWND control)
{
    return (static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)) & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE;
}

// Focus to a control, selecting all of an edit's text, as the dialog manager does.
void FocusControl(HWND control)
{
    if (DialogCode(control) & DLGC_HASSETSEL)
        SendMessageA(control, EM_SETSEL, 0, -1);
    SetFocus(control);
}

// The push button with focus becomes the default one; when the focus leaves push
// buttons, the dialog's own default gets the look back.
void MoveDefaultButton(HWND dialog, HWND target)
{
    auto state = StateOf<DialogState>(dialog);
    if (!state)
        return;
    HWND original = GetDlgItem(dialog, state->defaultId);
    if (target && !(DialogCode(target) & (DLGC_UNDEFPUSHBUTTON | DLGC_DEFPUSHBUTTON)))
        target = original;
    for (HWND child : ChildWindows(dialog))
        if (child != target && (DialogCode(child) & DLGC_DEFPUSHBUTTON))
            SendMessageA(child, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    if (target && (DialogCode(target) & DLGC_UNDEFPUSHBUTTON))
        SendMessageA(target, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void RestoreFocus(HWND dialog)
{
    auto state = StateOf<DialogState>(dialog);
    HWND target = state && state->lastFocus && IsChild(dialog, state->lastFocus) ? state->lastFocus : nullptr;
    if (!target)
        target = GetNextDlgTabItem(dialog, nullptr, FALSE);
    if (!target)
        target = GetNextDlgGroupItem(dialog, nullptr, FALSE);
    if (target)
        FocusControl(target);
}

LRESULT DefaultDialogHandling(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETFOCUS:
        RestoreFocus(dialog);
        return 0;
    case DM_GETDEFID: {
        auto state = StateOf<DialogState>(dialog);
        if (state && state->defaultId)
            return MAKELONG(state->defaultId, DC_HASDEFID);
        return 0;
    }
    case WM_NEXTDLGCTL: {
        HWND target = reinterpret_cast<HWND>(wParam);
        if (!lParam)
            target = GetNextDlgTabItem(dialog, GetFocus(), wParam != 0);
        if (target)
            FocusControl(target);
        MoveDefaultButton(dialog, target);
        return 0;
    }
    case WM_CLOSE:
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
        return 0;
    default:
        return DefWindowProcA(dialog, message, wParam, lParam);
    }
}

LRESULT CALLBACK DialogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefDlgProcA(dialog, message, wParam, lParam);
}

// Keeps the dialog list and the backend informed of what happens to dialogs and their
// controls.
void ObserveWindows(HWND window, WindowChange change)
{
    if (change == WindowChange::Destroyed) {
        bool wasDialog;
        {
            std::lock_guard<std::mutex> lock(dialogsMutex);
            auto &dialogs = DialogList();
            auto found = std::find(dialogs.begin(), dialogs.end(), window);
            wasDialog = found != dialogs.end();
            if (wasDialog)
                dialogs.erase(found);
        }
        if (wasDialog)
            if (ui::Backend *backend = ui::CurrentBackend())
                backend->DialogClosed(window);
        return;
    }
    HWND dialog = DialogOf(window);
    if (!dialog)
        return;
    if (change == WindowChange::Focus && window != dialog && GetFocus() == window)
        if (auto state = StateOf<DialogState>(dialog))
            state->lastFocus = window;
    ui::Backend *backend = ui::CurrentBackend();
    if (!backend)
        return;
    if (change == WindowChange::Visibility && window == dialog) {
        if (IsWindowVisible(dialog))
            backend->DialogShown(dialog);
        else
            backend->DialogChanged(dialog);
        return;
    }
    if (IsWindowVisible(dialog))
        backend->DialogChanged(dialog);
}

void RegisterClass(const char *name, WNDPROC procedure, int extraBytes)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = name;
    windowClass.cbWndExtra = extraBytes;
    RegisterClassA(&windowClass);
}

} // namespace

void RegisterDialogClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterClass("Button", ButtonProc, 0);
        RegisterClass("Static", StaticProc, 0);
        RegisterClass("Edit", EditProc, 0);
        RegisterClass("ComboBox", ComboProc, 0);
        RegisterClass(kDialogClass, DialogWindowProc, DLGWINDOWEXTRA);
        SetWindowObserver(ObserveWindows);
    });
}

bool IsDialog(HWND window)
{
    std::lock_guard<std::mutex> lock(dialogsMutex);
    auto &dialogs = DialogList();
    return window && std::find(dialogs.begin(), dialogs.end(), window) != dialogs.end();
}

void RegisterDialog(HWND dialog)
{
    std::lock_guard<std::mutex> lock(dialogsMutex);
    DialogList().push_back(dialog);
}

HWND DialogOf(HWND window)
{
    while (window) {
        if (IsDialog(window))
            return window;
        if (!(GetWindowLongA(window, GWL_STYLE) & WS_CHILD))
            return nullptr;
        window = GetParent(window);
    }
    return nullptr;
}

void SetKeyDown(int virtualKey, bool down)
{
    if (virtualKey >= 0 && virtualKey < 256)
        keysDown[virtualKey] = down;
}

void NotifyParent(HWND control, WORD code)
{
    HWND parent = GetParent(control);
    if (parent)
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), reinterpret_cast<LPARAM>(control));
}

} // namespace tessel::platform

namespace ui = tessel::ui;
using namespace tessel::platform;

std::vector<HWND> tessel::ui::Dialogs()
{
    std::lock_guard<std::mutex> lock(dialogsMutex);
    return DialogList();
}

extern "C" LRESULT WINAPI DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
    auto procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(dialog, DWLP_DLGPROC));
    INT_PTR result = procedure ? procedure(dialog, message, wParam, lParam) : 0;
    if (!result && IsWindow(dialog)) {
        switch (message) {
        case WM_INITDIALOG:
            break;
        default:
            return DefaultDialogHandling(dialog, message, wParam, lParam);
        }
    }
    if (message == WM_INITDIALOG || (message >= WM_CTLCOLORDLG && message <= WM_CTLCOLORSTATIC))
        return result;
    return IsWindow(dialog) ? GetWindowLongPtrA(dialog, DWLP_MSGRESULT) : 0;
}

extern "C" HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure,
                                          LPARAM param)
{
    HRSRC resource = FindResourceA(instance, templateName, RT_DIALOG);
    if (!resource)
        return nullptr;
    auto *data = static_cast<const unsigned char *>(LockResource(LoadResource(instance, resource)));
    DialogTemplate parsed;
    if (!ParseDialogTemplate(data, SizeofResource(instance, resource), parsed)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    RegisterDialogClasses();

    // Placed relative to the owner's client area, unless told otherwise.
    POINT origin{parsed.x, parsed.y};
    if (owner && !(parsed.style & (WS_CHILD | DS_ABSALIGN)))
        MapWindowPoints(owner, nullptr, &origin, 1);
    DWORD exStyle = parsed.exStyle | kDialogExtraStyles | ((parsed.style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0);
    HWND dialog = CreateWindowExA(exStyle, parsed.className.empty() ? kDialogClass : parsed.className.c_str(),
                                  parsed.caption.c_str(), parsed.style & ~static_cast<DWORD>(WS_VISIBLE), origin.x,
                                  origin.y, parsed.cx, parsed.cy, owner, nullptr, instance, nullptr);
    if (!dialog)
        return nullptr;
    auto state = AttachState<DialogState>(dialog);
    state->fontName = parsed.fontName;
    state->fontPoints = parsed.fontPoints;
    RegisterDialog(dialog);
    SetWindowLongPtrA(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(procedure));

    HWND defaultButton = nullptr;
    for (const DialogItemTemplate &item : parsed.items) {
        HWND control = CreateWindowExA(
            item.exStyle | WS_EX_NOPARENTNOTIFY, item.className.c_str(), item.text.c_str(), item.style | WS_CHILD,
            item.x, item.y, item.cx, item.cy, dialog, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)), instance,
            item.creationData.empty() ? nullptr : const_cast<unsigned char *>(item.creationData.data()));
        if (!control) {
            DestroyWindow(dialog);
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (DialogCode(control) & DLGC_DEFPUSHBUTTON) {
            // The last default push button of the template is the one.
            if (defaultButton)
                SendMessageA(defaultButton, BM_SETSTYLE, BS_PUSHBUTTON, FALSE);
            defaultButton = control;
            state->defaultId = static_cast<int>(item.id);
        }
    }

    if (procedure) {
        HWND focus = GetNextDlgTabItem(dialog, nullptr, FALSE);
        if (!focus)
            focus = GetNextDlgGroupItem(dialog, nullptr, FALSE);
        if (SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param) && IsWindow(dialog)) {
            // WM_INITDIALOG may have changed the tab stops (checked radio buttons).
            focus = GetNextDlgTabItem(dialog, nullptr, FALSE);
            if (!focus)
                focus = GetNextDlgGroupItem(dialog, nullptr, FALSE);
            if (focus)
                FocusControl(focus);
            else
                SetFocus(dialog);
        }
    }
    if (!IsWindow(dialog))
        return nullptr;
    if (parsed.style & WS_VISIBLE)
        ShowWindow(dialog, SW_SHOWNORMAL);
    return dialog;
}

extern "C" HWND WINAPI GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous)
{
    std::vector<HWND> children = ChildWindows(dialog);
    if (children.empty())
        return nullptr;
    size_t count = children.size();
    HWND top = control ? TopControl(dialog, control) : nullptr;
    auto at = std::find(children.begin(), children.end(), top);
    bool found = at != children.end();
    size_t start = found ? static_cast<size_t>(at - children.begin()) : 0;
    // From the control onwards, around the list, the control itself last; without
    // one, from the first child (the last one going back).
    for (size_t step = 0; step < count; ++step) {
        size_t index;
        if (found)
            index = previous ? (start + count - 1 - step) % count : (start + 1 + step) % count;
        else
            index = previous ? count - 1 - step : step;
        HWND candidate = children[index];
        if ((GetWindowLongA(candidate, GWL_STYLE) & WS_TABSTOP) && Eligible(candidate))
            return candidate;
    }
    return nullptr;
}

extern "C" HWND WINAPI GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous)
{
    std::vector<HWND> children = ChildWindows(dialog);
    if (children.empty())
        return nullptr;
    if (control == dialog)
        control = nullptr;
    if (!control) {
        if (previous)
            return nullptr;
        control = children.front();
        if (Eligible(control))
            return control;
    }
    HWND top = TopControl(dialog, control);
    auto at = std::find(children.begin(), children.end(), top);
    if (at == children.end())
        return nullptr;
    size_t count = children.size();
    size_t index = static_cast<size_t>(at - children.begin());
    auto grouped = [&](size_t i) { return (GetWindowLongA(children[i], GWL_STYLE) & WS_GROUP) != 0; };
    // The group runs from the nearest WS_GROUP control at or before this one to just
    // before the next WS_GROUP control, wrapping round the end of the list.
    size_t groupStart = index;
    for (size_t step = 0; step < count && !grouped(groupStart); ++step)
        groupStart = (groupStart + count - 1) % count;
    std::vector<size_t> members{groupStart};
    for (size_t i = (groupStart + 1) % count; i != groupStart && !grouped(i); i = (i + 1) % count)
        members.push_back(i);
    auto self = std::find(members.begin(), members.end(), index);
    if (self == members.end())
        return top;
    size_t position = static_cast<size_t>(self - members.begin());
    size_t size = members.size();
    for (size_t step = 1; step < size; ++step) {
        size_t next = previous ? (position + size - step) % size : (position + step) % size;
        if (Eligible(children[members[next]]))
            return children[members[next]];
    }
    return top;
}

extern "C" BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG message)
{
    if (!message || !IsWindow(dialog))
        return FALSE;
    if (message->hwnd != dialog && !IsChild(dialog, message->hwnd))
        return FALSE;
    switch (message->message) {
    case WM_KEYDOWN: {
        LRESULT code = DialogCode(message->hwnd, message);
        if (code & DLGC_WANTMESSAGE)
            break;
        switch (message->wParam) {
        case VK_TAB:
            if (code & DLGC_WANTTAB)
                break;
            SendMessageA(dialog, WM_NEXTDLGCTL, (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0, 0);
            return TRUE;
        case VK_RIGHT:
        case VK_DOWN:
        case VK_LEFT:
        case VK_UP: {
            if (code & DLGC_WANTARROWS)
                break;
            bool back = message->wParam == VK_LEFT || message->wParam == VK_UP;
            HWND next = GetNextDlgGroupItem(dialog, message->hwnd, back);
            if (next && DialogCode(next, message) == (DLGC_BUTTON | DLGC_RADIOBUTTON)) {
                SetFocus(next);
                if ((GetWindowLongA(next, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON &&
                    SendMessageA(next, BM_GETCHECK, 0, 0) != BST_CHECKED)
                    SendMessageA(next, BM_CLICK, 1, 0);
            } else {
                SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), 1);
            }
            return TRUE;
        }
        case VK_ESCAPE:
            SendMessageA(dialog, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
            return TRUE;
        case VK_RETURN: {
            HWND focus = GetFocus();
            if (focus && IsChild(dialog, focus) && (DialogCode(focus) & DLGC_DEFPUSHBUTTON)) {
                SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                             reinterpret_cast<LPARAM>(focus));
            } else {
                LRESULT defaultId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
                if (HIWORD(defaultId) == DC_HASDEFID) {
                    HWND button = GetDlgItem(dialog, LOWORD(defaultId));
                    if (!button || IsWindowEnabled(button))
                        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(LOWORD(defaultId), BN_CLICKED),
                                     reinterpret_cast<LPARAM>(button));
                } else {
                    SendMessageA(dialog, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
                }
            }
            return TRUE;
        }
        default:
            break;
        }
        break;
    }
    default:
        break;
    }
    TranslateMessage(message);
    DispatchMessageA(message);
    return TRUE;
}

extern "C" LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageA(control, message, wParam, lParam) : 0;
}

extern "C" BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text)
{
    return static_cast<BOOL>(SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

extern "C" UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size)
{
    if (text && size > 0)
        text[0] = '\0';
    return static_cast<UINT>(
        SendDlgItemMessageA(dialog, id, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

extern "C" BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check)
{
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, check, 0);
    return TRUE;
}

extern "C" UINT WINAPI IsDlgButtonChecked(HWND dialog, int id)
{
    return static_cast<UINT>(SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0));
}

extern "C" BOOL WINAPI CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId)
{
    if (!IsWindow(dialog)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    for (HWND child : ChildWindows(dialog)) {
        int id = GetDlgCtrlID(child);
        if (id >= firstId && id <= lastId)
            SendMessageA(child, BM_SETCHECK, id == checkId ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    return TRUE;
}

extern "C" BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect)
{
    // Base units of 4 x 8: a dialog unit is one unit of this platform's coordinates.
    if (!IsDialog(dialog) || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" HWND WINAPI FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName)
{
    std::vector<HWND> windows = parent ? ChildWindows(parent) : TopLevelWindows();
    auto at = windows.begin();
    if (childAfter) {
        at = std::find(windows.begin(), windows.end(), childAfter);
        if (at == windows.end())
            return nullptr;
        ++at;
    }
    for (; at != windows.end(); ++at) {
        if (className && !IS_INTRESOURCE(className) && strcasecmp(WindowClassName(*at).c_str(), className) != 0)
            continue;
        if (windowName && WindowText(*at) != windowName)
            continue;
        return *at;
    }
    return nullptr;
}

extern "C" SHORT WINAPI GetKeyState(int virtualKey)
{
    if (virtualKey < 0 || virtualKey >= 256)
        return 0;
    return keysDown[virtualKey] ? static_cast<SHORT>(0x8000) : 0;
}
