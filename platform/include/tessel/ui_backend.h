// The user-interface backend behind the platform's message boxes (and, later, its
// dialogs): a host installs one that draws in the terminal, a test one that records.
#pragma once

#include <windows.h>

namespace tessel::ui {

class Backend {
public:
    virtual ~Backend() = default;
    // A modal message box; returns the id of the button that closed it (IDOK, ...).
    virtual int MessageBox(HWND owner, const char *text, const char *caption, UINT type) = 0;
};

// Installs the backend for the whole process; nullptr restores the default, which
// prints caption and text to stderr and answers IDOK. Returns the previous one.
Backend *InstallBackend(Backend *backend);
Backend *CurrentBackend();

} // namespace tessel::ui
