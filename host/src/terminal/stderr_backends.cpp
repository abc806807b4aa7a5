#include "terminal/stderr_backends.h"

#include "util/text.h"

#include <cstdio>

namespace tessel::host {

int StderrLines::MessageBox(HWND, const char *text, const char *caption, UINT)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return IDOK;
}

void StderrLines::Notice(const char *text)
{
    std::fprintf(stderr, "tessel: %s\n", ForTerminal(text).c_str());
}

StderrCapture::StderrCapture(std::string &sink) : sink_(sink), previous_(tessel::ui::InstallBackend(this))
{
}

StderrCapture::~StderrCapture()
{
    tessel::ui::InstallBackend(previous_);
}

int StderrCapture::MessageBox(HWND, const char *text, const char *caption, UINT)
{
    sink_ += std::string(caption) + ": " + text + "\n";
    return IDOK;
}

void StderrCapture::Notice(const char *text)
{
    sink_ += "tessel: " + ForTerminal(text) + "\n";
}

} // namespace tessel::host
