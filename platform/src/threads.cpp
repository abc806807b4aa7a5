// Win32 threads over std::thread. The thread owns a share of its object, so the
// object outlives CloseHandle for as long as the thread runs, and a wait on a handle
// closed meanwhile still sees it end.
#include "handles.h"
#include "windows_internal.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

using namespace tessel::platform;

namespace {

class ThreadObject : public KernelObject {
public:
    void Finish()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
        ended_.notify_all();
    }

    bool Wait(DWORD timeoutMs)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (timeoutMs == INFINITE) {
            ended_.wait(lock, [this] { return finished_; });
            return true;
        }
        return ended_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return finished_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool finished_ = false;
};

} // namespace

extern "C" HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, size_t, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                                      DWORD flags, LPDWORD threadId)
{
    if (!start || (flags & CREATE_SUSPENDED)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = std::make_shared<ThreadObject>();
    // The id is the new thread's own; it tells it before it starts its routine.
    std::promise<DWORD> started;
    std::future<DWORD> id = started.get_future();
    try {
        std::thread([object, start, parameter, started = std::move(started)]() mutable {
            started.set_value(CurrentThreadId());
            start(parameter);
            // The thread's windows go before a waiter sees it end, as on Windows.
            EndThreadWindows(CurrentThreadId());
            object->Finish();
        }).detach();
    } catch (const std::system_error &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD newId = id.get();
    if (threadId)
        *threadId = newId;
    return RegisterHandle(object);
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD timeoutMs)
{
    auto thread = HandleAs<ThreadObject>(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return thread->Wait(timeoutMs) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

extern "C" DWORD WINAPI GetCurrentThreadId(void)
{
    return CurrentThreadId();
}

extern "C" void WINAPI Sleep(DWORD ms)
{
    if (ms == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
