#include "tests/support/host_window.h"

namespace {

const char kClassName[] = "TesselTestHost";
// Every window lives on the test's own thread, so the procedure finds its owner here.
std::map<HWND, HostWindow *> &Owners()
{
    static std::map<HWND, HostWindow *> owners;
    return owners;
}

} // namespace

HostWindow::HostWindow()
{
    static ATOM registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Procedure;
        windowClass.lpszClassName = kClassName;
        return RegisterClassA(&windowClass);
    }();
    (void)registered;
    window = CreateWindowExA(0, kClassName, "Tessel test host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                             nullptr, nullptr);
    Owners()[window] = this;
}

HostWindow::~HostWindow()
{
    Owners().erase(window);
    if (window)
        DestroyWindow(window);
}

LRESULT CALLBACK HostWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto owner = Owners().find(window);
    if (owner != Owners().end()) {
        Arrivals &arrivals = owner->second->counts[message];
        ++arrivals.count;
        arrivals.wParam = wParam;
        arrivals.lParam = lParam;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void HostWindow::DispatchQueued()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void HostWindow::Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DispatchQueued();
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    }
}

bool HostWindow::PumpUntil(UINT message, int count, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DispatchQueued();
        if (Count(message) >= count)
            return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}

int HostWindow::Count(UINT message) const
{
    auto found = counts.find(message);
    return found == counts.end() ? 0 : found->second.count;
}

WPARAM HostWindow::LastWParam(UINT message) const
{
    auto found = counts.find(message);
    return found == counts.end() ? 0 : found->second.wParam;
}

LPARAM HostWindow::LastLParam(UINT message) const
{
    auto found = counts.find(message);
    return found == counts.end() ? 0 : found->second.lParam;
}
