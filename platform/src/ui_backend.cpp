// Message boxes go to the backend a host or a test installed; without one a box is
// printed to stderr and answered with OK, so nothing ever waits on an absent user.
#include <tessel/ui_backend.h>

#include <atomic>
#include <cstdio>

namespace tessel::ui {

namespace {
std::atomic<Backend *> installed{nullptr};
}

Backend *InstallBackend(Backend *backend)
{
    return installed.exchange(backend);
}

Backend *CurrentBackend()
{
    return installed.load();
}

void Backend::Notice(const char *text)
{
    fprintf(stderr, "tessel: %s\n", text);
}

void Notify(const char *text)
{
    if (Backend *backend = CurrentBackend())
        backend->Notice(text);
    else
        fprintf(stderr, "tessel: %s\n", text);
}

} // namespace tessel::ui

extern "C" int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    if (tessel::ui::Backend *backend = tessel::ui::CurrentBackend())
        return backend->MessageBox(owner, text ? text : "", caption ? caption : "Error", type);
    fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
    return IDOK;
}
