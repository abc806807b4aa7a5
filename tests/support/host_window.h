// The host's main window as a test sees it: a real top-level window on the test's
// thread, with a message loop that the test pumps, counting what arrives. Several may
// exist at once; pumping dispatches to all of them.
#pragma once

#include <windows.h>

#include <map>

class HostWindow {
public:
    HostWindow();
    ~HostWindow();
    HostWindow(const HostWindow &) = delete;
    HostWindow &operator=(const HostWindow &) = delete;

    HWND Handle() const { return window; }
    // Gets and dispatches this thread's messages for about ms milliseconds.
    void Pump(DWORD ms);
    // Pumps until count messages of that kind have arrived in all, or timeoutMs has
    // passed; true when they arrived.
    bool PumpUntil(UINT message, int count, DWORD timeoutMs);
    // Dispatches what is queued now, without waiting.
    void Drain() { Pump(0); }

    // Messages of that kind dispatched to the window so far, and the parameters of
    // the last one.
    int Count(UINT message) const;
    WPARAM LastWParam(UINT message) const;
    LPARAM LastLParam(UINT message) const;
    void ClearCounts() { counts.clear(); }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void DispatchQueued();

    struct Arrivals {
        int count;
        WPARAM wParam;
        LPARAM lParam;
    };

    HWND window;
    std::map<UINT, Arrivals> counts;
};
