// The keyboard focus, which each thread keeps for its own windows, and window
// positions: there is no frame, so a window's client area is the window itself.
#include "window_system.h"

using namespace tessel::platform;

extern "C" HWND WINAPI SetFocus(HWND handle)
{
    auto queue = CurrentQueue();
    HWND previous;
    {
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        previous = queue->focus;
        if (handle) {
            auto window = FindLocked(system, handle);
            if (!window) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
            if (window->threadId != queue->threadId) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            if (previous == handle)
                return previous;
        } else if (!previous) {
            return nullptr;
        }
    }
    if (previous)
        SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(handle), 0);
    {
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        if (handle && !FindLocked(system, handle))
            return previous; // the old focus destroyed it on its way out
        queue->focus = handle;
    }
    if (handle)
        SendMessageA(handle, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    if (previous)
        NotifyObserver(previous, WindowChange::Focus);
    if (handle)
        NotifyObserver(handle, WindowChange::Focus);
    return previous;
}

extern "C" HWND WINAPI GetFocus(void)
{
    auto queue = CurrentQueue();
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    return queue->focus;
}

namespace {

// The offset of a window's client area on the screen: the sum of its ancestors'
// positions (windows have no frame here).
bool ScreenOrigin(WindowSystem &system, HWND handle, POINT &origin)
{
    origin = POINT{0, 0};
    auto window = FindLocked(system, handle);
    if (!window)
        return false;
    while (window) {
        origin.x += window->rect.left;
        origin.y += window->rect.top;
        window = (window->style & WS_CHILD) ? FindLocked(system, window->parent) : nullptr;
    }
    return true;
}

} // namespace

extern "C" BOOL WINAPI GetWindowRect(HWND handle, LPRECT rect)
{
    auto window = LockWindow(handle);
    if (!window || !rect)
        return FALSE;
    POINT origin;
    ScreenOrigin(window.system, handle, origin); // cannot fail: the window is there, under the lock
    *rect = RECT{origin.x, origin.y, origin.x + window->rect.right - window->rect.left,
                 origin.y + window->rect.bottom - window->rect.top};
    return TRUE;
}

extern "C" BOOL WINAPI GetClientRect(HWND handle, LPRECT rect)
{
    auto window = LockWindow(handle);
    if (!window || !rect)
        return FALSE;
    *rect = RECT{0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
    return TRUE;
}

extern "C" BOOL WINAPI MoveWindow(HWND handle, int x, int y, int width, int height, BOOL)
{
    {
        auto window = LockWindow(handle);
        if (!window)
            return FALSE;
        window->rect = RECT{x, y, x + width, y + height};
    }
    NotifyObserver(handle, WindowChange::Style);
    return TRUE;
}

extern "C" int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count)
{
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    POINT fromOrigin{0, 0};
    POINT toOrigin{0, 0};
    if ((from && !ScreenOrigin(system, from, fromOrigin)) || (to && !ScreenOrigin(system, to, toOrigin))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG dx = fromOrigin.x - toOrigin.x;
    LONG dy = fromOrigin.y - toOrigin.y;
    for (UINT i = 0; points && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}
