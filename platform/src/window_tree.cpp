// The window tree and the window classes: creation, destruction, parents, owners and
// children, and what the dialog manager reads of a window without messages.
#include "window_system.h"

#include <algorithm>
#include <cstring>

namespace tessel::platform {

namespace {

std::string Lower(const char *text)
{
    std::string lower(text);
    for (char &c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

bool IsAtom(LPCSTR name)
{
    return reinterpret_cast<uintptr_t>(name) < 0x10000;
}

std::vector<HWND> &SiblingsLocked(WindowSystem &system, const Window &window)
{
    if (window.style & WS_CHILD) {
        if (auto parent = FindLocked(system, window.parent))
            return parent->children;
    }
    return system.topLevel;
}

// Takes a window out of the system: its handle is invalid from here on, and the
// messages still waiting for it are dropped.
void RemoveWindowLocked(WindowSystem &system, const std::shared_ptr<Window> &window)
{
    auto &siblings = SiblingsLocked(system, *window);
    siblings.erase(std::remove(siblings.begin(), siblings.end(), window->handle), siblings.end());
    system.windows.erase(window->handle);
    auto queue = system.queues.find(window->threadId);
    if (queue != system.queues.end()) {
        auto &posted = queue->second->posted;
        posted.erase(std::remove_if(posted.begin(), posted.end(),
                                    [&](const MSG &message) { return message.hwnd == window->handle; }),
                     posted.end());
        if (queue->second->focus == window->handle)
            queue->second->focus = nullptr;
    }
    for (HWND child : window->children)
        if (auto found = FindLocked(system, child))
            found->parent = nullptr;
}

// Sends WM_DESTROY to a window and then to each of its children, parents first, so
// that every handler still sees its children alive.
void SendDestroy(HWND handle)
{
    std::vector<HWND> children;
    {
        auto window = LockWindow(handle);
        if (!window)
            return;
        window->destroying = true;
        window->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    SendMessageA(handle, WM_DESTROY, 0, 0);
    if (auto window = LockWindow(handle))
        children = window->children;
    for (HWND child : children)
        SendDestroy(child);
}

// Frees children before their parent; each gets WM_NCDESTROY while its handle is
// still valid.
void FreeWindow(HWND handle)
{
    std::vector<HWND> children;
    if (auto window = LockWindow(handle))
        children = window->children;
    else
        return;
    for (HWND child : children)
        FreeWindow(child);
    SendMessageA(handle, WM_NCDESTROY, 0, 0);
    if (auto window = LockWindow(handle))
        RemoveWindowLocked(window.system, window.window);
}

} // namespace

WindowSystem &System()
{
    static auto *system = new WindowSystem; // outlives every thread's clean-up
    return *system;
}

std::shared_ptr<Window> FindLocked(WindowSystem &system, HWND handle)
{
    auto found = system.windows.find(handle);
    return found == system.windows.end() ? nullptr : found->second;
}

LockedWindow LockWindow(HWND handle)
{
    WindowSystem &system = System();
    std::unique_lock<std::mutex> lock(system.mutex);
    auto window = FindLocked(system, handle);
    if (!window)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return LockedWindow{system, std::move(lock), std::move(window)};
}

std::shared_ptr<Window> FindOrFail(HWND handle)
{
    return LockWindow(handle).window;
}

bool IsDescendantLocked(WindowSystem &system, HWND ancestor, HWND handle)
{
    auto window = FindLocked(system, handle);
    while (window && (window->style & WS_CHILD)) {
        if (window->parent == ancestor)
            return true;
        window = FindLocked(system, window->parent);
    }
    return false;
}

void NotifyObserver(HWND window, WindowChange change)
{
    WindowObserver observer;
    {
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        observer = system.observer;
    }
    if (observer)
        observer(window, change);
}

// Win32 drops a finished thread's windows without sending them anything: no window
// procedure runs on a thread that is going away. The observer still hears of each,
// so that nobody keeps a dialog that is gone.
void EndThreadWindows(DWORD threadId)
{
    std::vector<HWND> dropped;
    {
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        std::vector<std::shared_ptr<Window>> mine;
        for (auto &entry : system.windows)
            if (entry.second->threadId == threadId)
                mine.push_back(entry.second);
        for (auto &window : mine) {
            RemoveWindowLocked(system, window);
            dropped.push_back(window->handle);
        }
    }
    for (HWND window : dropped)
        NotifyObserver(window, WindowChange::Destroyed);
}

WindowObserver SetWindowObserver(WindowObserver observer)
{
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    WindowObserver previous = system.observer;
    system.observer = observer;
    return previous;
}

void WindowChanged(HWND window, WindowChange change)
{
    NotifyObserver(window, change);
}

std::shared_ptr<void> WindowAttachment(HWND handle)
{
    auto window = FindOrFail(handle);
    return window ? window->attachment : nullptr;
}

void SetWindowAttachment(HWND handle, std::shared_ptr<void> attachment)
{
    if (auto window = LockWindow(handle))
        window->attachment = std::move(attachment);
}

std::string WindowClassName(HWND handle)
{
    auto window = LockWindow(handle);
    return window && window->windowClass ? window->windowClass->name : std::string();
}

std::string WindowText(HWND handle)
{
    auto window = LockWindow(handle);
    return window ? window->text : std::string();
}

std::vector<HWND> ChildWindows(HWND handle)
{
    auto window = LockWindow(handle);
    return window ? window->children : std::vector<HWND>();
}

std::vector<HWND> TopLevelWindows()
{
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    return system.topLevel;
}

bool IsOwnThreadWindow(HWND handle)
{
    auto window = LockWindow(handle);
    return window && window->threadId == CurrentThreadId();
}

} // namespace tessel::platform

using namespace tessel::platform;

extern "C" ATOM WINAPI RegisterClassA(const WNDCLASSA *windowClass)
{
    if (!windowClass || !windowClass->lpszClassName || IsAtom(windowClass->lpszClassName) ||
        !windowClass->lpfnWndProc || windowClass->cbWndExtra < 0 || windowClass->cbClsExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    std::string key = Lower(windowClass->lpszClassName);
    if (system.classes.count(key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto made = std::make_shared<WindowClass>();
    made->name = windowClass->lpszClassName;
    made->info = *windowClass;
    made->info.lpszClassName = nullptr; // the caller's string need not outlive the call
    made->info.lpszMenuName = nullptr;
    made->atom = system.nextAtom++;
    system.classes[key] = made;
    return made->atom;
}

extern "C" int WINAPI GetClassNameA(HWND handle, LPSTR name, int size)
{
    auto window = FindOrFail(handle);
    if (!window || !name || size <= 0)
        return 0;
    std::string className = window->windowClass ? window->windowClass->name : std::string();
    return static_cast<int>(FillCopy(className, name, static_cast<size_t>(size)));
}

extern "C" HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                                       int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    auto queue = CurrentQueue();
    auto window = std::make_shared<Window>();
    {
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        std::shared_ptr<WindowClass> windowClass;
        if (IsAtom(className)) {
            for (auto &entry : system.classes)
                if (entry.second->atom == reinterpret_cast<uintptr_t>(className))
                    windowClass = entry.second;
        } else if (className) {
            auto found = system.classes.find(Lower(className));
            if (found != system.classes.end())
                windowClass = found->second;
        }
        if (!windowClass) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (parent == HWND_MESSAGE)
            parent = nullptr;
        std::shared_ptr<Window> parentWindow;
        if (parent) {
            parentWindow = FindLocked(system, parent);
            if (!parentWindow) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
        }
        if (style & WS_CHILD) {
            if (!parentWindow) {
                SetLastError(1406L); // ERROR_TLW_WITH_WSCHILD
                return nullptr;
            }
            window->parent = parent;
            window->id = reinterpret_cast<LONG_PTR>(menu);
        } else if (parentWindow) {
            // An owner is always a top-level window: a child's top-level ancestor stands in.
            while (parentWindow && (parentWindow->style & WS_CHILD))
                parentWindow = FindLocked(system, parentWindow->parent);
            window->owner = parentWindow ? parentWindow->handle : nullptr;
        }
        window->handle = reinterpret_cast<HWND>(system.nextHandle);
        system.nextHandle += 4;
        window->windowClass = windowClass;
        window->procedure = windowClass->info.lpfnWndProc;
        window->style = style & ~static_cast<DWORD>(WS_VISIBLE); // shown once created
        window->exStyle = exStyle;
        window->instance = instance;
        window->threadId = queue->threadId;
        window->extra.assign(static_cast<size_t>(windowClass->info.cbWndExtra), 0);
        window->rect = RECT{x == CW_USEDEFAULT ? 0 : x, y == CW_USEDEFAULT ? 0 : y,
                            (x == CW_USEDEFAULT ? 0 : x) + (width == CW_USEDEFAULT ? 0 : width),
                            (y == CW_USEDEFAULT ? 0 : y) + (height == CW_USEDEFAULT ? 0 : height)};
        system.windows[window->handle] = window;
        SiblingsLocked(system, *window).push_back(window->handle);
    }
    HWND handle = window->handle;
    CREATESTRUCTA create{};
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.cy = height;
    create.cx = width;
    create.y = y;
    create.x = x;
    create.style = static_cast<LONG>(style);
    create.lpszName = windowName;
    create.lpszClass = className;
    create.dwExStyle = exStyle;
    if (!SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
        FreeWindow(handle);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if ((style & WS_VISIBLE) && IsWindow(handle))
        ShowWindow(handle, SW_SHOW);
    if (!IsWindow(handle))
        return nullptr;
    NotifyObserver(handle, WindowChange::Created);
    return handle;
}

extern "C" BOOL WINAPI DestroyWindow(HWND handle)
{
    std::vector<HWND> owned;
    {
        auto window = LockWindow(handle);
        if (!window)
            return FALSE;
        if (window->threadId != CurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (window->destroying)
            return TRUE; // a second call from inside the first: it finishes the job
        for (auto &entry : window.system.windows)
            if (entry.second->owner == handle && !(entry.second->style & WS_CHILD))
                owned.push_back(entry.first);
    }
    for (HWND each : owned)
        DestroyWindow(each);
    SendDestroy(handle);
    FreeWindow(handle);
    NotifyObserver(handle, WindowChange::Destroyed);
    return TRUE;
}

extern "C" BOOL WINAPI IsWindow(HWND handle)
{
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    return FindLocked(system, handle) ? TRUE : FALSE;
}

extern "C" HWND WINAPI GetParent(HWND handle)
{
    auto window = LockWindow(handle);
    if (!window)
        return nullptr;
    if (window->style & WS_CHILD)
        return window->parent;
    if (window->style & WS_POPUP)
        return window->owner;
    return nullptr;
}

extern "C" HWND WINAPI GetWindow(HWND handle, UINT relation)
{
    auto window = LockWindow(handle);
    if (!window)
        return nullptr;
    if (relation == GW_OWNER)
        return (window->style & WS_CHILD) ? nullptr : window->owner;
    if (relation == GW_CHILD)
        return window->children.empty() ? nullptr : window->children.front();
    const std::vector<HWND> &siblings = SiblingsLocked(window.system, *window);
    auto at = std::find(siblings.begin(), siblings.end(), handle);
    switch (relation) {
    case GW_HWNDFIRST:
        return siblings.empty() ? nullptr : siblings.front();
    case GW_HWNDLAST:
        return siblings.empty() ? nullptr : siblings.back();
    case GW_HWNDNEXT:
        return at == siblings.end() || at + 1 == siblings.end() ? nullptr : *(at + 1);
    case GW_HWNDPREV:
        return at == siblings.end() || at == siblings.begin() ? nullptr : *(at - 1);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

extern "C" BOOL WINAPI IsChild(HWND parent, HWND handle)
{
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    return IsDescendantLocked(system, parent, handle) ? TRUE : FALSE;
}

extern "C" HWND WINAPI GetDlgItem(HWND dialog, int id)
{
    auto window = LockWindow(dialog);
    if (!window)
        return nullptr;
    for (HWND child : window->children)
        if (auto found = FindLocked(window.system, child); found && static_cast<int>(found->id) == id)
            return child;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

extern "C" int WINAPI GetDlgCtrlID(HWND handle)
{
    auto window = FindOrFail(handle);
    if (!window)
        return 0;
    return static_cast<int>(GetWindowLongPtrA(handle, GWLP_ID));
}
