// The window system's own state, shared by the files of the window core: the window
// tree and classes, the message queues, and focus and geometry.
//
// One mutex guards the whole window system (windows, classes, queues); it is never
// held while a window procedure runs. Each thread's queue has its own condition
// variable, woken whenever something is posted to that thread.
#pragma once

#include "windows_internal.h"

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessel::platform {

struct MessageQueue {
    DWORD threadId = 0;
    std::condition_variable wake;
    std::deque<MSG> posted;
    HWND focus = nullptr;
};

struct WindowClass {
    std::string name;
    ATOM atom = 0;
    WNDCLASSA info{};
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

WindowSystem &System();

// The calling thread's queue, made on first use; it dies with the thread.
std::shared_ptr<MessageQueue> CurrentQueue();

std::shared_ptr<Window> FindLocked(WindowSystem &system, HWND handle);

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

LockedWindow LockWindow(HWND handle);
// The same with the lock already let go, for callers that go on to send messages or
// make other calls that take it.
std::shared_ptr<Window> FindOrFail(HWND handle);

bool IsDescendantLocked(WindowSystem &system, HWND ancestor, HWND handle);
void NotifyObserver(HWND window, WindowChange change);

// Copies text into a caller's buffer of size bytes (size > 0), cut to fit.
size_t FillCopy(const std::string &text, char *buffer, size_t size);

} // namespace tessel::platform
