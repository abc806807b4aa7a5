// What the dialog manager and the user-interface backend need from the window core
// beyond the Win32 calls.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace tessel::platform {

// The id GetCurrentThreadId gives the calling thread (the kernel's thread id).
DWORD CurrentThreadId();

// What changed about a window, for a backend that redraws.
enum class WindowChange { None, Created, Destroyed, Text, Visibility, Style, Focus, State };
typedef void (*WindowObserver)(HWND window, WindowChange change);
// One observer for the process (the installed backend's adapter); returns the old one.
WindowObserver SetWindowObserver(WindowObserver observer);
// Reported by controls whose own state (checks, items, selection) changed.
void WindowChanged(HWND window, WindowChange change);

// A control's or dialog's own state, kept with the window and dropped with it.
std::shared_ptr<void> WindowAttachment(HWND window);
void SetWindowAttachment(HWND window, std::shared_ptr<void> attachment);

// Reads without messages, for any thread.
std::string WindowClassName(HWND window);
std::string WindowText(HWND window);
std::vector<HWND> ChildWindows(HWND window);
std::vector<HWND> TopLevelWindows();
bool IsOwnThreadWindow(HWND window);

// Drops the windows of a thread that is ending, telling the observer of each.
void EndThreadWindows(DWORD threadId);

} // namespace tessel::platform
