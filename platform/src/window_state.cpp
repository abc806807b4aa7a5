// What a window holds: its text, style, visibility and window longs, and the default
// handling of the messages that read and change them.
#include "window_system.h"

#include <algorithm>
#include <cstring>

namespace tessel::platform {

size_t FillCopy(const std::string &text, char *buffer, size_t size)
{
    size_t copied = std::min(text.size(), size - 1);
    memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
    return copied;
}

} // namespace tessel::platform

using namespace tessel::platform;

extern "C" LRESULT WINAPI DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE: {
        auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
        if (create && create->lpszName && reinterpret_cast<uintptr_t>(create->lpszName) >= 0x10000)
            if (auto window = LockWindow(handle))
                window->text = create->lpszName;
        return TRUE;
    }
    case WM_SETTEXT: {
        {
            auto window = LockWindow(handle);
            if (!window)
                return FALSE;
            window->text = lParam ? reinterpret_cast<const char *>(lParam) : "";
        }
        NotifyObserver(handle, WindowChange::Text);
        return TRUE;
    }
    case WM_GETTEXT: {
        if (wParam == 0 || !lParam)
            return 0;
        auto window = LockWindow(handle);
        if (!window)
            return 0;
        return static_cast<LRESULT>(FillCopy(window->text, reinterpret_cast<char *>(lParam), wParam));
    }
    case WM_GETTEXTLENGTH: {
        auto window = LockWindow(handle);
        return window ? static_cast<LRESULT>(window->text.size()) : 0;
    }
    case WM_CLOSE:
        DestroyWindow(handle);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            SendMessageA(handle, WM_CLOSE, 0, 0);
        return 0;
    default:
        return 0;
    }
}

namespace {

// The window long at a non-negative offset: bytes the class reserved per window.
bool ExtraRange(const Window &window, int index, size_t width)
{
    return index >= 0 && static_cast<size_t>(index) + width <= window.extra.size();
}

LONG_PTR AccessLong(HWND handle, int index, bool set, LONG_PTR value, size_t width)
{
    LONG_PTR previous = 0;
    WindowChange change = WindowChange::None;
    {
        auto window = LockWindow(handle);
        if (!window)
            return 0;
        if (index >= 0) {
            if (!ExtraRange(*window, index, width)) {
                SetLastError(ERROR_INVALID_INDEX);
                return 0;
            }
            unsigned char *at = window->extra.data() + index;
            if (width == sizeof(LONG)) {
                LONG stored;
                memcpy(&stored, at, sizeof stored);
                previous = stored;
                if (set) {
                    stored = static_cast<LONG>(value);
                    memcpy(at, &stored, sizeof stored);
                }
            } else {
                memcpy(&previous, at, sizeof previous);
                if (set)
                    memcpy(at, &value, sizeof value);
            }
            return previous;
        }
        switch (index) {
        case GWLP_WNDPROC:
            previous = reinterpret_cast<LONG_PTR>(window->procedure);
            if (set)
                window->procedure = reinterpret_cast<WNDPROC>(value);
            break;
        case GWLP_HINSTANCE:
            previous = reinterpret_cast<LONG_PTR>(window->instance);
            if (set)
                window->instance = reinterpret_cast<HINSTANCE>(value);
            break;
        case GWLP_HWNDPARENT:
            previous = reinterpret_cast<LONG_PTR>((window->style & WS_CHILD) ? window->parent : window->owner);
            if (set && !(window->style & WS_CHILD))
                window->owner = reinterpret_cast<HWND>(value);
            break;
        case GWLP_ID:
            previous = window->id;
            if (set)
                window->id = value;
            break;
        case GWL_STYLE:
            previous = static_cast<LONG>(window->style);
            if (set) {
                window->style = static_cast<DWORD>(value);
                change = WindowChange::Style;
            }
            break;
        case GWL_EXSTYLE:
            previous = static_cast<LONG>(window->exStyle);
            if (set)
                window->exStyle = static_cast<DWORD>(value);
            break;
        case GWLP_USERDATA:
            previous = window->userData;
            if (set)
                window->userData = value;
            break;
        default:
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
    }
    if (change != WindowChange::None)
        NotifyObserver(handle, change);
    return previous;
}

} // namespace

extern "C" LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index)
{
    return AccessLong(window, index, false, 0, sizeof(LONG_PTR));
}

extern "C" LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value)
{
    return AccessLong(window, index, true, value, sizeof(LONG_PTR));
}

extern "C" LONG WINAPI GetWindowLongA(HWND window, int index)
{
    return static_cast<LONG>(AccessLong(window, index, false, 0, sizeof(LONG)));
}

extern "C" LONG WINAPI SetWindowLongA(HWND window, int index, LONG value)
{
    return static_cast<LONG>(AccessLong(window, index, true, value, sizeof(LONG)));
}

extern "C" int WINAPI GetWindowTextA(HWND window, LPSTR text, int size)
{
    if (!FindOrFail(window))
        return 0;
    if (!text || size <= 0)
        return 0;
    text[0] = '\0';
    return static_cast<int>(
        SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

extern "C" int WINAPI GetWindowTextLengthA(HWND window)
{
    if (!FindOrFail(window))
        return 0;
    return static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
}

extern "C" BOOL WINAPI ShowWindow(HWND handle, int command)
{
    bool show = command != SW_HIDE;
    bool wasVisible;
    {
        auto window = LockWindow(handle);
        if (!window)
            return FALSE;
        wasVisible = (window->style & WS_VISIBLE) != 0;
    }
    if (show == wasVisible)
        return wasVisible ? TRUE : FALSE;
    SendMessageA(handle, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (auto window = LockWindow(handle))
        window->style = show ? window->style | WS_VISIBLE : window->style & ~static_cast<DWORD>(WS_VISIBLE);
    NotifyObserver(handle, WindowChange::Visibility);
    return wasVisible ? TRUE : FALSE;
}

extern "C" BOOL WINAPI IsWindowVisible(HWND handle)
{
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    auto window = FindLocked(system, handle);
    while (window) {
        if (!(window->style & WS_VISIBLE))
            return FALSE;
        if (!(window->style & WS_CHILD))
            return TRUE;
        window = FindLocked(system, window->parent);
    }
    return FALSE;
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND handle)
{
    auto window = LockWindow(handle);
    return window && !(window->style & WS_DISABLED) ? TRUE : FALSE;
}
