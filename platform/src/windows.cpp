// Windows, window classes and per-thread message queues.
//
// One mutex guards the whole window system (windows, classes, queues); it is never
// held while a window procedure runs. Each thread's queue has its own condition
// variable, woken whenever something is posted or sent to that thread.
#include "windows_internal.h"

#include <windows.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessel::platform {

namespace {

// Win32 refuses posts past this many waiting messages; so do we, so that a host that
// stops pumping makes the poster fail instead of growing without bound.
constexpr size_t maxPostedMessages = 10000;

struct MessageQueue;

struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<MessageQueue> sender;
};

struct MessageQueue {
    DWORD threadId = 0;
    bool alive = true;
    std::condition_variable wake;
    uint64_t generation = 0; // bumped on every arrival, so waiters see news
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
    int quitCode = 0;
    HWND focus = nullptr;
    HWND active = nullptr;
};

struct WindowClass {
    std::string name;
    ATOM atom = 0;
    WNDCLASSA info{};
    int windows = 0;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> windowClass;
    WNDPROC procedure = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string text;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    HINSTANCE instance = nullptr;
    HWND parent = nullptr;
    HWND owner = nullptr;
    DWORD threadId = 0;
    std::vector<HWND> children; // z-order, which is creation order here
    std::vector<unsigned char> extra;
    RECT rect{}; // in the parent's client coordinates (screen for top-level windows)
    bool destroying = false;
    std::shared_ptr<void> attachment;
};

struct WindowSystem {
    std::mutex mutex;
    std::unordered_map<HWND, std::shared_ptr<Window>> windows;
    std::vector<HWND> topLevel;
    std::map<std::string, std::shared_ptr<WindowClass>> classes; // by lower-case name
    std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> queues;
    uintptr_t nextHandle = 0x10020;
    ATOM nextAtom = 0xC000;
    WindowObserver observer = nullptr;
};

WindowSystem &System()
{
    static auto *system = new WindowSystem; // outlives every thread's clean-up
    return *system;
}

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

void RemoveWindowLocked(WindowSystem &system, const std::shared_ptr<Window> &window);

// The calling thread's queue, made on first use; it dies with the thread, taking the
// thread's windows with it.
struct ThreadQueue {
    std::shared_ptr<MessageQueue> queue;

    ~ThreadQueue()
    {
        if (!queue)
            return;
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        queue->alive = false;
        system.queues.erase(queue->threadId);
        std::vector<std::shared_ptr<Window>> mine;
        for (auto &entry : system.windows)
            if (entry.second->threadId == queue->threadId)
                mine.push_back(entry.second);
        for (auto &window : mine)
            RemoveWindowLocked(system, window);
        for (auto &request : queue->sent) {
            request->done = true;
            request->sender->wake.notify_all();
        }
        queue->sent.clear();
        queue->posted.clear();
    }
};

thread_local ThreadQueue threadQueue;

std::shared_ptr<MessageQueue> CurrentQueue()
{
    if (!threadQueue.queue) {
        auto queue = std::make_shared<MessageQueue>();
        queue->threadId = CurrentThreadId();
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        system.queues[queue->threadId] = queue;
        threadQueue.queue = queue;
    }
    return threadQueue.queue;
}

std::shared_ptr<Window> FindLocked(WindowSystem &system, HWND handle)
{
    auto found = system.windows.find(handle);
    return found == system.windows.end() ? nullptr : found->second;
}

// A window looked up under the system's lock, which it holds until it goes out of
// scope; empty, with ERROR_INVALID_WINDOW_HANDLE set, when the handle names no window.
struct LockedWindow {
    WindowSystem &system;
    std::unique_lock<std::mutex> lock;
    std::shared_ptr<Window> window;

    explicit operator bool() const { return window != nullptr; }
    Window &operator*() const { return *window; }
    Window *operator->() const { return window.get(); }
};

LockedWindow LockWindow(HWND handle)
{
    WindowSystem &system = System();
    std::unique_lock<std::mutex> lock(system.mutex);
    auto window = FindLocked(system, handle);
    if (!window)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return LockedWindow{system, std::move(lock), std::move(window)};
}

// The same with the lock already let go, for callers that go on to send messages or
// make other calls that take it.
std::shared_ptr<Window> FindOrFail(HWND handle)
{
    return LockWindow(handle).window;
}

std::vector<HWND> &SiblingsLocked(WindowSystem &system, const Window &window)
{
    if (window.style & WS_CHILD) {
        if (auto parent = FindLocked(system, window.parent))
            return parent->children;
    }
    return system.topLevel;
}

void Unlink(std::vector<HWND> &list, HWND handle)
{
    list.erase(std::remove(list.begin(), list.end(), handle), list.end());
}

// Takes a window out of the system: its handle is invalid from here on, and the
// messages still waiting for it are dropped.
void RemoveWindowLocked(WindowSystem &system, const std::shared_ptr<Window> &window)
{
    Unlink(SiblingsLocked(system, *window), window->handle);
    system.windows.erase(window->handle);
    if (window->windowClass)
        --window->windowClass->windows;
    auto queue = system.queues.find(window->threadId);
    if (queue != system.queues.end()) {
        auto &posted = queue->second->posted;
        posted.erase(std::remove_if(posted.begin(), posted.end(),
                                    [&](const MSG &message) { return message.hwnd == window->handle; }),
                     posted.end());
        if (queue->second->focus == window->handle)
            queue->second->focus = nullptr;
        if (queue->second->active == window->handle)
            queue->second->active = nullptr;
    }
    for (HWND child : window->children)
        if (auto found = FindLocked(system, child))
            found->parent = nullptr;
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

bool MatchesLocked(WindowSystem &system, const MSG &message, HWND filter, UINT first, UINT last)
{
    if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
        if (message.hwnd)
            return false;
    } else if (filter && message.hwnd != filter && !IsDescendantLocked(system, filter, message.hwnd)) {
        return false;
    }
    if (first == 0 && last == 0)
        return true;
    return message.message >= first && message.message <= last;
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

// Runs the messages other threads sent to this one; each sender is released as soon
// as its message is handled.
void HandleSentMessages(const std::shared_ptr<MessageQueue> &queue)
{
    WindowSystem &system = System();
    for (;;) {
        std::shared_ptr<SentMessage> request;
        WNDPROC procedure = nullptr;
        {
            std::lock_guard<std::mutex> lock(system.mutex);
            if (queue->sent.empty())
                return;
            request = queue->sent.front();
            queue->sent.pop_front();
            if (auto window = FindLocked(system, request->window))
                procedure = window->procedure;
        }
        LRESULT result = procedure ? procedure(request->window, request->message, request->wParam, request->lParam) : 0;
        std::lock_guard<std::mutex> lock(system.mutex);
        request->result = result;
        request->done = true;
        request->sender->wake.notify_all();
    }
}

// Takes the first message that passes the filter (WM_QUIT once nothing else does).
bool TakeMessageLocked(WindowSystem &system, MessageQueue &queue, MSG *out, HWND filter, UINT first, UINT last,
                       bool remove)
{
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (!MatchesLocked(system, *it, filter, first, last))
            continue;
        *out = *it;
        if (remove)
            queue.posted.erase(it);
        return true;
    }
    if (queue.quit) {
        *out = MSG{};
        out->message = WM_QUIT;
        out->wParam = static_cast<WPARAM>(queue.quitCode);
        out->time = GetTickCount();
        if (remove)
            queue.quit = false;
        return true;
    }
    return false;
}

bool ValidFilter(HWND filter)
{
    if (!filter || filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)))
        return true;
    return FindOrFail(filter) != nullptr;
}

bool PostLocked(MessageQueue &queue, HWND window, UINT message, WPARAM wParam,
                LPARAM lParam)
{
    if (queue.posted.size() >= maxPostedMessages) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return false;
    }
    MSG posted{};
    posted.hwnd = window;
    posted.message = message;
    posted.wParam = wParam;
    posted.lParam = lParam;
    posted.time = GetTickCount();
    queue.posted.push_back(posted);
    ++queue.generation;
    queue.wake.notify_all();
    return true;
}

LRESULT SendCrossThread(const std::shared_ptr<MessageQueue> &target, HWND window, UINT message, WPARAM wParam,
                        LPARAM lParam)
{
    auto self = CurrentQueue();
    auto request = std::make_shared<SentMessage>();
    request->window = window;
    request->message = message;
    request->wParam = wParam;
    request->lParam = lParam;
    request->sender = self;
    WindowSystem &system = System();
    std::unique_lock<std::mutex> lock(system.mutex);
    if (!target->alive)
        return 0;
    target->sent.push_back(request);
    ++target->generation;
    target->wake.notify_all();
    while (!request->done) {
        if (!self->sent.empty()) {
            // Someone is waiting on us in turn: serve it, or both threads would hang.
            lock.unlock();
            HandleSentMessages(self);
            lock.lock();
            continue;
        }
        self->wake.wait(lock);
    }
    return request->result;
}

// Sends WM_DESTROY to a window and then to each of its children, parents first, so
// that every handler still sees its children alive.
void SendDestroy(HWND handle)
{
    std::vector<HWND> children;
    {
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        auto window = FindLocked(system, handle);
        if (!window)
            return;
        window->destroying = true;
        if (window->style & WS_VISIBLE)
            window->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    SendMessageA(handle, WM_DESTROY, 0, 0);
    {
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        if (auto window = FindLocked(system, handle))
            children = window->children;
    }
    for (HWND child : children)
        SendDestroy(child);
}

// Frees children before their parent; each gets WM_NCDESTROY while its handle is
// still valid.
void FreeWindow(HWND handle)
{
    std::vector<HWND> children;
    {
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        auto window = FindLocked(system, handle);
        if (!window)
            return;
        children = window->children;
    }
    for (HWND child : children)
        FreeWindow(child);
    SendMessageA(handle, WM_NCDESTROY, 0, 0);
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    if (auto window = FindLocked(system, handle))
        RemoveWindowLocked(system, window);
}

void FillCopy(const std::string &text, char *buffer, size_t size, size_t &copied)
{
    copied = std::min(text.size(), size - 1);
    memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
}

} // namespace

DWORD CurrentThreadId()
{
    return static_cast<DWORD>(syscall(SYS_gettid));
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
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    auto window = FindLocked(system, handle);
    return window ? window->attachment : nullptr;
}

void SetWindowAttachment(HWND handle, std::shared_ptr<void> attachment)
{
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    if (auto window = FindLocked(system, handle))
        window->attachment = std::move(attachment);
}

std::string WindowClassName(HWND handle)
{
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    auto window = FindLocked(system, handle);
    return window && window->windowClass ? window->windowClass->name : std::string();
}

std::string WindowText(HWND handle)
{
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    auto window = FindLocked(system, handle);
    return window ? window->text : std::string();
}

std::vector<HWND> ChildWindows(HWND handle)
{
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    auto window = FindLocked(system, handle);
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
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    auto window = FindLocked(system, handle);
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

extern "C" BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE)
{
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    for (auto it = system.classes.begin(); it != system.classes.end(); ++it) {
        bool match = IsAtom(className) ? it->second->atom == reinterpret_cast<uintptr_t>(className)
                                       : className && it->first == Lower(className);
        if (!match)
            continue;
        if (it->second->windows > 0) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
        system.classes.erase(it);
        return TRUE;
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

extern "C" int WINAPI GetClassNameA(HWND handle, LPSTR name, int size)
{
    auto window = FindOrFail(handle);
    if (!window || !name || size <= 0)
        return 0;
    size_t copied = 0;
    FillCopy(window->windowClass ? window->windowClass->name : std::string(), name, static_cast<size_t>(size),
             copied);
    return static_cast<int>(copied);
}

extern "C" HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                                       int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                       LPVOID param)
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
        ++windowClass->windows;
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

extern "C" LRESULT WINAPI DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE: {
        auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
        if (create && create->lpszName && !IsAtom(create->lpszName)) {
            WindowSystem &system = System();
            std::lock_guard<std::mutex> lock(system.mutex);
            if (auto window = FindLocked(system, handle))
                window->text = create->lpszName;
        }
        return TRUE;
    }
    case WM_SETTEXT: {
        {
            WindowSystem &system = System();
            std::lock_guard<std::mutex> lock(system.mutex);
            auto window = FindLocked(system, handle);
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
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        auto window = FindLocked(system, handle);
        if (!window)
            return 0;
        size_t copied = 0;
        FillCopy(window->text, reinterpret_cast<char *>(lParam), wParam, copied);
        return static_cast<LRESULT>(copied);
    }
    case WM_GETTEXTLENGTH: {
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        auto window = FindLocked(system, handle);
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

extern "C" LRESULT WINAPI CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam)
{
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

extern "C" DWORD WINAPI GetWindowThreadProcessId(HWND handle, LPDWORD processId)
{
    auto window = FindOrFail(handle);
    if (!window)
        return 0;
    if (processId)
        *processId = GetCurrentProcessId();
    return window->threadId;
}

extern "C" BOOL WINAPI GetMessageA(LPMSG message, HWND filter, UINT first, UINT last)
{
    if (!message) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!ValidFilter(filter))
        return -1;
    auto queue = CurrentQueue();
    WindowSystem &system = System();
    for (;;) {
        HandleSentMessages(queue);
        std::unique_lock<std::mutex> lock(system.mutex);
        if (TakeMessageLocked(system, *queue, message, filter, first, last, true))
            return message->message == WM_QUIT ? FALSE : TRUE;
        uint64_t seen = queue->generation;
        queue->wake.wait(lock, [&] { return queue->generation != seen; });
    }
}

extern "C" BOOL WINAPI PeekMessageA(LPMSG message, HWND filter, UINT first, UINT last, UINT remove)
{
    if (!message) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ValidFilter(filter))
        return FALSE;
    auto queue = CurrentQueue();
    HandleSentMessages(queue);
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    return TakeMessageLocked(system, *queue, message, filter, first, last, (remove & PM_REMOVE) != 0) ? TRUE
                                                                                                      : FALSE;
}

extern "C" BOOL WINAPI TranslateMessage(const MSG *message)
{
    if (!message)
        return FALSE;
    if (message->message != WM_KEYDOWN && message->message != WM_SYSKEYDOWN && message->message != WM_KEYUP &&
        message->message != WM_SYSKEYUP)
        return FALSE;
    if (message->message != WM_KEYDOWN)
        return TRUE;
    // Unshifted keys of the US layout; a host that knows the typed character posts
    // WM_CHAR itself.
    WPARAM key = message->wParam;
    int character = 0;
    if (key >= '0' && key <= '9')
        character = static_cast<int>(key);
    else if (key >= 'A' && key <= 'Z')
        character = static_cast<int>(key - 'A' + 'a');
    else if (key == VK_SPACE || key == VK_BACK || key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE)
        character = static_cast<int>(key);
    if (character)
        PostMessageA(message->hwnd, WM_CHAR, static_cast<WPARAM>(character), message->lParam);
    return TRUE;
}

extern "C" LRESULT WINAPI DispatchMessageA(const MSG *message)
{
    if (!message || !message->hwnd)
        return 0;
    WNDPROC procedure = nullptr;
    {
        auto window = LockWindow(message->hwnd);
        if (!window)
            return 0;
        if (window->threadId != CurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
        procedure = window->procedure;
    }
    return procedure ? procedure(message->hwnd, message->message, message->wParam, message->lParam) : 0;
}

extern "C" BOOL WINAPI PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!handle)
        return PostThreadMessageA(CurrentThreadId(), message, wParam, lParam);
    auto window = LockWindow(handle);
    if (!window)
        return FALSE;
    auto queue = window.system.queues.find(window->threadId);
    if (queue == window.system.queues.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return PostLocked(*queue->second, handle, message, wParam, lParam) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (threadId == CurrentThreadId())
        CurrentQueue();
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    auto queue = system.queues.find(threadId);
    if (queue == system.queues.end()) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return PostLocked(*queue->second, nullptr, message, wParam, lParam) ? TRUE : FALSE;
}

extern "C" void WINAPI PostQuitMessage(int exitCode)
{
    auto queue = CurrentQueue();
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    queue->quit = true;
    queue->quitCode = exitCode;
    ++queue->generation;
    queue->wake.notify_all();
}

extern "C" LRESULT WINAPI SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC procedure = nullptr;
    std::shared_ptr<MessageQueue> target;
    {
        auto window = LockWindow(handle);
        if (!window)
            return 0;
        if (window->threadId == CurrentThreadId()) {
            procedure = window->procedure;
        } else {
            auto queue = window.system.queues.find(window->threadId);
            if (queue == window.system.queues.end()) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return 0;
            }
            target = queue->second;
        }
    }
    if (target)
        return SendCrossThread(target, handle, message, wParam, lParam);
    return procedure ? procedure(handle, message, wParam, lParam) : 0;
}

extern "C" DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE *, BOOL, DWORD milliseconds, DWORD)
{
    if (count != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    auto queue = CurrentQueue();
    WindowSystem &system = System();
    auto ready = [&] { return !queue->posted.empty() || !queue->sent.empty() || queue->quit; };
    std::unique_lock<std::mutex> lock(system.mutex);
    if (milliseconds == INFINITE)
        queue->wake.wait(lock, ready);
    else if (!queue->wake.wait_for(lock, std::chrono::milliseconds(milliseconds), ready))
        return WAIT_TIMEOUT;
    return WAIT_OBJECT_0 + count;
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

extern "C" BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text)
{
    if (!FindOrFail(window))
        return FALSE;
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

extern "C" int WINAPI GetWindowTextA(HWND window, LPSTR text, int size)
{
    if (!FindOrFail(window))
        return 0;
    if (!text || size <= 0)
        return 0;
    text[0] = '\0';
    return static_cast<int>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
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
    {
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        if (auto window = FindLocked(system, handle)) {
            if (show)
                window->style |= WS_VISIBLE;
            else
                window->style &= ~static_cast<DWORD>(WS_VISIBLE);
        }
    }
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

extern "C" BOOL WINAPI EnableWindow(HWND handle, BOOL enable)
{
    bool wasDisabled;
    bool loseFocus = false;
    {
        auto window = LockWindow(handle);
        if (!window)
            return FALSE;
        wasDisabled = (window->style & WS_DISABLED) != 0;
        if (wasDisabled == !enable)
            return wasDisabled ? TRUE : FALSE;
        if (enable) {
            window->style &= ~static_cast<DWORD>(WS_DISABLED);
        } else {
            window->style |= WS_DISABLED;
            auto queue = window.system.queues.find(window->threadId);
            if (queue != window.system.queues.end() && queue->second->focus &&
                (queue->second->focus == handle || IsDescendantLocked(window.system, handle, queue->second->focus)))
                loseFocus = window->threadId == CurrentThreadId();
        }
    }
    if (loseFocus)
        SetFocus(nullptr);
    SendMessageA(handle, WM_ENABLE, enable ? TRUE : FALSE, 0);
    NotifyObserver(handle, WindowChange::Style);
    return wasDisabled ? TRUE : FALSE;
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND handle)
{
    auto window = FindOrFail(handle);
    if (!window)
        return FALSE;
    return (GetWindowLongA(handle, GWL_STYLE) & WS_DISABLED) ? FALSE : TRUE;
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

extern "C" HWND WINAPI SetFocus(HWND handle)
{
    auto queue = CurrentQueue();
    HWND previous;
    HWND topLevel = nullptr;
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
            while (window && (window->style & WS_CHILD))
                window = FindLocked(system, window->parent);
            topLevel = window ? window->handle : nullptr;
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
        if (topLevel)
            queue->active = topLevel;
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

extern "C" HWND WINAPI GetActiveWindow(void)
{
    auto queue = CurrentQueue();
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    return queue->active;
}

extern "C" HWND WINAPI SetActiveWindow(HWND handle)
{
    auto queue = CurrentQueue();
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    if (handle && !FindLocked(system, handle)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HWND previous = queue->active;
    queue->active = handle;
    return previous;
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

extern "C" BOOL WINAPI ScreenToClient(HWND window, LPPOINT point)
{
    if (!FindOrFail(window))
        return FALSE;
    MapWindowPoints(nullptr, window, point, 1);
    return TRUE;
}

extern "C" BOOL WINAPI ClientToScreen(HWND window, LPPOINT point)
{
    if (!FindOrFail(window))
        return FALSE;
    MapWindowPoints(window, nullptr, point, 1);
    return TRUE;
}
