// Per-thread message queues: posting, peeking, dispatching and waiting, and sending,
// which calls the window procedure directly on the window's own thread.
#include "window_system.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace tessel::platform {

namespace {

// Win32 refuses posts past this many waiting messages; so do we, so that a host that
// stops pumping makes the poster fail instead of growing without bound.
constexpr size_t maxPostedMessages = 10000;

// Holds the calling thread's queue; when the thread ends, the queue and the thread's
// windows go with it.
struct ThreadQueue {
    std::shared_ptr<MessageQueue> queue;

    ~ThreadQueue()
    {
        if (!queue)
            return;
        EndThreadWindows(queue->threadId);
        WindowSystem &system = System();
        std::lock_guard<std::mutex> lock(system.mutex);
        system.queues.erase(queue->threadId);
        queue->posted.clear();
    }
};

thread_local ThreadQueue threadQueue;

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

bool PostLocked(MessageQueue &queue, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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
    queue.wake.notify_all();
    return true;
}

} // namespace

DWORD CurrentThreadId()
{
    return static_cast<DWORD>(syscall(SYS_gettid));
}

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

} // namespace tessel::platform

using namespace tessel::platform;

extern "C" BOOL WINAPI PeekMessageA(LPMSG message, HWND filter, UINT first, UINT last, UINT remove)
{
    if (!message) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (filter && filter != reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)) && !FindOrFail(filter))
        return FALSE;
    auto queue = CurrentQueue();
    WindowSystem &system = System();
    std::lock_guard<std::mutex> lock(system.mutex);
    auto &posted = queue->posted;
    auto found = std::find_if(posted.begin(), posted.end(),
                              [&](const MSG &each) { return MatchesLocked(system, each, filter, first, last); });
    if (found == posted.end())
        return FALSE;
    *message = *found;
    if (remove & PM_REMOVE)
        posted.erase(found);
    return TRUE;
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

// A message of the thread's own queue goes to its window as a send does.
extern "C" LRESULT WINAPI DispatchMessageA(const MSG *message)
{
    if (!message || !message->hwnd)
        return 0;
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

extern "C" BOOL WINAPI PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!handle) {
        // No window: a message for the calling thread itself, as Win32 does.
        auto queue = CurrentQueue();
        std::lock_guard<std::mutex> lock(System().mutex);
        return PostLocked(*queue, nullptr, message, wParam, lParam) ? TRUE : FALSE;
    }
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

// Only the window's own thread sends to it here: every caller works on its own
// dialogs, and other threads post. A send from elsewhere is refused, not queued.
extern "C" LRESULT WINAPI SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC procedure = nullptr;
    {
        auto window = LockWindow(handle);
        if (!window)
            return 0;
        if (window->threadId != CurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
        procedure = window->procedure;
    }
    return procedure ? procedure(handle, message, wParam, lParam) : 0;
}

// Waits until a message is in the calling thread's queue or the time has passed.
extern "C" DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE *, BOOL, DWORD milliseconds, DWORD)
{
    if (count != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    auto queue = CurrentQueue();
    WindowSystem &system = System();
    auto ready = [&] { return !queue->posted.empty(); };
    std::unique_lock<std::mutex> lock(system.mutex);
    if (milliseconds == INFINITE)
        queue->wake.wait(lock, ready);
    else if (!queue->wake.wait_for(lock, std::chrono::milliseconds(milliseconds), ready))
        return WAIT_TIMEOUT;
    return WAIT_OBJECT_0 + count;
}
