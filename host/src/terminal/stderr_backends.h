// Where message boxes and notices go without a terminal: stderr, as lines cleaned for
// it like every other line tessel prints there.
#pragma once

#include <tessel/ui_backend.h>

#include <string>

namespace tessel::host {

// Boxes (answered with OK) and notices straight to stderr.
class StderrLines : public tessel::ui::Backend {
public:
    int MessageBox(HWND owner, const char *text, const char *caption, UINT type) override;
    void Notice(const char *text) override;
};

// While it lives, what the plug-in and the settings store would print on stderr goes
// to sink instead, as the platform's own default prints it (boxes answered with OK):
// answers from several processes are printed with their files, in order.
class StderrCapture : public tessel::ui::Backend {
public:
    explicit StderrCapture(std::string &sink);
    ~StderrCapture() override;
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;
    int MessageBox(HWND owner, const char *text, const char *caption, UINT type) override;
    void Notice(const char *text) override;

private:
    std::string &sink_;
    tessel::ui::Backend *previous_;
};

} // namespace tessel::host
