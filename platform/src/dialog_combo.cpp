// Combo boxes: a drop-down list (CBS_DROPDOWNLIST) or a drop-down with an edit field
// of its own (CBS_DROPDOWN, the field a child Edit with id 1001). The window has the
// closed height; the template height, open list included, is kept for the list.
#include "dialog_internal.h"

#include <algorithm>
#include <cstring>

namespace tessel::platform {

namespace {

constexpr int kPageItems = 8;

bool HasEdit(HWND combo)
{
    return (GetWindowLongA(combo, GWL_STYLE) & 0x3) == CBS_DROPDOWN;
}

// Text the combo box puts into its own field raises no CBN_EDIT* notices; a chosen
// item's text is selected whole while the field has the focus.
void SetEditQuietly(const std::shared_ptr<ComboState> &state, const char *text, bool selectIfFocused)
{
    if (!state->edit)
        return;
    state->quietEdit = true;
    SendMessageA(state->edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    state->quietEdit = false;
    if (selectIfFocused && GetFocus() == state->edit)
        SendMessageA(state->edit, EM_SETSEL, 0, -1);
}

LRESULT SetSelection(HWND combo, const std::shared_ptr<ComboState> &state, int index)
{
    bool valid = index >= 0 && index < static_cast<int>(state->items.size());
    state->selection = valid ? index : -1;
    SetEditQuietly(state, valid ? state->items[static_cast<size_t>(index)].c_str() : "", true);
    WindowChanged(combo, WindowChange::State);
    return valid ? index : CB_ERR;
}

// A choice the user made: the selection moves and the parent hears CBN_SELCHANGE.
void Choose(HWND combo, const std::shared_ptr<ComboState> &state, int index)
{
    int count = static_cast<int>(state->items.size());
    if (count == 0)
        return;
    index = std::clamp(index, 0, count - 1);
    if (index == state->selection)
        return;
    SetSelection(combo, state, index);
    NotifyParent(combo, CBN_SELCHANGE);
}

void Drop(HWND combo, const std::shared_ptr<ComboState> &state, bool open, bool accepted)
{
    if (state->dropped == open)
        return;
    if (open)
        NotifyParent(combo, CBN_DROPDOWN);
    state->dropped = open;
    WindowChanged(combo, WindowChange::State);
    if (!open) {
        NotifyParent(combo, accepted ? CBN_SELENDOK : CBN_SELENDCANCEL);
        NotifyParent(combo, CBN_CLOSEUP);
    }
}

LRESULT Insert(HWND combo, const std::shared_ptr<ComboState> &state, int index, const char *text)
{
    if (!text)
        text = "";
    int count = static_cast<int>(state->items.size());
    if (index < 0)
        index = count;
    if (index > count)
        return CB_ERR;
    state->items.insert(state->items.begin() + index, text);
    if (state->selection >= index)
        ++state->selection;
    WindowChanged(combo, WindowChange::State);
    return index;
}

void Key(HWND combo, const std::shared_ptr<ComboState> &state, WPARAM key)
{
    bool alt = (GetKeyState(VK_MENU) & 0x8000) != 0;
    int last = static_cast<int>(state->items.size()) - 1;
    switch (key) {
    case VK_F4:
        Drop(combo, state, !state->dropped, true);
        break;
    case VK_UP:
    case VK_DOWN:
        if (alt)
            Drop(combo, state, !state->dropped, true);
        else
            Choose(combo, state, state->selection < 0 ? 0 : state->selection + (key == VK_DOWN ? 1 : -1));
        break;
    case VK_HOME:
        Choose(combo, state, 0);
        break;
    case VK_END:
        Choose(combo, state, last);
        break;
    case VK_PRIOR:
        Choose(combo, state, state->selection - kPageItems);
        break;
    case VK_NEXT:
        Choose(combo, state, state->selection + kPageItems);
        break;
    case VK_RETURN:
    case VK_ESCAPE:
        Drop(combo, state, false, key == VK_RETURN);
        break;
    default:
        break;
    }
}

// A typed character picks the next item that starts with it.
void Prefix(HWND combo, const std::shared_ptr<ComboState> &state, char character)
{
    int count = static_cast<int>(state->items.size());
    for (int step = 1; step <= count; ++step) {
        int index = (state->selection + step + count) % count;
        const std::string &item = state->items[static_cast<size_t>(index)];
        if (!item.empty() && strncasecmp(item.c_str(), &character, 1) == 0) {
            Choose(combo, state, index);
            return;
        }
    }
}

LRESULT TextOfSelection(const std::shared_ptr<ComboState> &state, WPARAM size, LPARAM buffer)
{
    std::string text = state->selection >= 0 ? state->items[static_cast<size_t>(state->selection)] : std::string();
    if (!buffer)
        return static_cast<LRESULT>(text.size());
    if (size == 0)
        return 0;
    size_t copied = std::min(text.size(), static_cast<size_t>(size) - 1);
    memcpy(reinterpret_cast<char *>(buffer), text.data(), copied);
    reinterpret_cast<char *>(buffer)[copied] = '\0';
    return static_cast<LRESULT>(copied);
}

} // namespace

LRESULT CALLBACK ComboProc(HWND combo, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto state = AttachState<ComboState>(combo);
        if (auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam))
            state->listHeight = create->cy;
        // Border and scroll bars belong to the list, not to the box itself.
        DWORD style = static_cast<DWORD>(GetWindowLongA(combo, GWL_STYLE));
        SetWindowLongA(combo, GWL_STYLE,
                       static_cast<LONG>(style & ~static_cast<DWORD>(WS_BORDER | WS_VSCROLL | WS_HSCROLL)));
        return DefWindowProcA(combo, message, wParam, lParam);
    }
    auto state = StateOf<ComboState>(combo);
    if (!state)
        return DefWindowProcA(combo, message, wParam, lParam);
    switch (message) {
    case WM_CREATE: {
        RECT rect;
        GetWindowRect(combo, &rect);
        POINT origin{rect.left, rect.top};
        MapWindowPoints(nullptr, GetParent(combo), &origin, 1);
        int width = static_cast<int>(rect.right - rect.left);
        MoveWindow(combo, origin.x, origin.y, width, kClosedComboHeight, FALSE);
        if (HasEdit(combo)) {
            auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
            state->edit =
                CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | kEditInCombo, 0, 0, width,
                                kClosedComboHeight, combo, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kComboEditId)),
                                create ? create->hInstance : nullptr, nullptr);
            if (!state->edit)
                return -1;
        }
        return 0;
    }
    case WM_GETDLGCODE: {
        LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
        auto *asked = reinterpret_cast<const MSG *>(lParam);
        if (asked && asked->message == WM_KEYDOWN && (asked->wParam == VK_RETURN || asked->wParam == VK_ESCAPE) &&
            state->dropped)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case CB_INSERTSTRING:
        return Insert(combo, state, static_cast<int>(static_cast<INT_PTR>(wParam)),
                      reinterpret_cast<const char *>(lParam));
    case CB_GETCOUNT:
        return static_cast<LRESULT>(state->items.size());
    case CB_GETCURSEL:
        return state->selection;
    case CB_SETCURSEL:
        return SetSelection(combo, state, static_cast<int>(static_cast<INT_PTR>(wParam)));
    case CB_GETLBTEXT:
    case CB_GETLBTEXTLEN: {
        int index = static_cast<int>(static_cast<INT_PTR>(wParam));
        if (index < 0 || index >= static_cast<int>(state->items.size()))
            return CB_ERR;
        const std::string &item = state->items[static_cast<size_t>(index)];
        // The caller's buffer holds the whole item, as the list gives no size.
        if (message == CB_GETLBTEXT && lParam)
            memcpy(reinterpret_cast<char *>(lParam), item.c_str(), item.size() + 1);
        return static_cast<LRESULT>(item.size());
    }
    case CB_GETDROPPEDSTATE:
        return state->dropped ? TRUE : FALSE;
    case CB_GETDROPPEDCONTROLRECT: {
        auto *rect = reinterpret_cast<RECT *>(lParam);
        if (!rect)
            return CB_ERR;
        GetWindowRect(combo, rect);
        rect->bottom = rect->top + state->listHeight;
        return TRUE;
    }
    case CB_GETEDITSEL:
        return state->edit ? SendMessageA(state->edit, EM_GETSEL, wParam, lParam) : CB_ERR;
    case CB_SETEDITSEL:
        if (!state->edit)
            return CB_ERR;
        SendMessageA(state->edit, EM_SETSEL,
                     static_cast<WPARAM>(static_cast<INT_PTR>(static_cast<short>(LOWORD(lParam)))),
                     static_cast<short>(HIWORD(lParam)));
        return TRUE;
    case WM_SETTEXT:
        if (!state->edit)
            return CB_ERR;
        SetEditQuietly(state, reinterpret_cast<const char *>(lParam), false);
        return TRUE;
    case WM_GETTEXT:
        if (state->edit)
            return SendMessageA(state->edit, WM_GETTEXT, wParam, lParam);
        return TextOfSelection(state, wParam, lParam);
    case WM_GETTEXTLENGTH:
        if (state->edit)
            return SendMessageA(state->edit, WM_GETTEXTLENGTH, 0, 0);
        return TextOfSelection(state, 0, 0);
    case WM_COMMAND:
        if (reinterpret_cast<HWND>(lParam) == state->edit && state->edit && !state->quietEdit) {
            if (HIWORD(wParam) == EN_UPDATE)
                NotifyParent(combo, CBN_EDITUPDATE);
            else if (HIWORD(wParam) == EN_CHANGE)
                NotifyParent(combo, CBN_EDITCHANGE);
            else if (HIWORD(wParam) == EN_KILLFOCUS)
                Drop(combo, state, false, false);
        }
        return 0;
    case WM_SETFOCUS:
        if (state->edit) {
            SendMessageA(state->edit, EM_SETSEL, 0, -1);
            SetFocus(state->edit);
        }
        return 0;
    case WM_KILLFOCUS:
        if (reinterpret_cast<HWND>(wParam) != state->edit || !state->edit)
            Drop(combo, state, false, false);
        return 0;
    case WM_KEYDOWN:
        Key(combo, state, wParam);
        return 0;
    case WM_CHAR:
        if (!state->edit && static_cast<unsigned char>(wParam) >= 0x20)
            Prefix(combo, state, static_cast<char>(wParam));
        return 0;
    default:
        return DefWindowProcA(combo, message, wParam, lParam);
    }
}

} // namespace tessel::platform
