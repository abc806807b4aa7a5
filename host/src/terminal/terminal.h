// The terminal under ncurses: one screen, composed back to front on every frame (the
// host's own screen, then the open dialogs, then a message box), so that ncurses can
// send only what changed and nothing flickers. It is also the platform's user-interface
// backend: message boxes are drawn here and wait for a key.
#pragma once

#include "util/text.h"

#include <tessel/ui_backend.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct screen; // ncurses' SCREEN

namespace tessel::host {

class DialogLayer;

class Terminal : public tessel::ui::Backend {
public:
    // Takes over the terminal and installs itself as the user-interface backend;
    // nullptr unless standard input and output are a terminal that ncurses knows.
    static std::unique_ptr<Terminal> Open();
    // Gives the terminal back as it was (also after a signal) and uninstalls itself.
    ~Terminal() override;
    Terminal(const Terminal &) = delete;
    Terminal &operator=(const Terminal &) = delete;

    // What lies under the dialogs: the player's screen. Called on every frame.
    void SetBackground(std::function<void()> painter) { background_ = std::move(painter); }

    // Draws a frame: background, dialogs, the message box if one is up.
    void Redraw();
    // The next key, waiting up to timeoutMs (ERR when none came, or a signal did).
    int ReadKey(int timeoutMs);

    // Keys for the dialogs: true when an open dialog took the key.
    bool DialogKey(int key);
    bool DialogOpen() const;

    int MessageBox(HWND owner, const char *text, const char *caption, UINT type) override;
    void DialogShown(HWND dialog) override;
    void DialogClosed(HWND dialog) override;
    // Shown as a message box: the plug-in's own boxes are what the user already reads.
    void Notice(const char *text) override;

    DialogLayer &Dialogs() { return *dialogs_; }

    // While a collector is set, a box with one button raised on the terminal's thread
    // is handed to it (caption, text) and answered OK at once instead of waiting for a
    // key: the player shows it in its message line and moves on by itself.
    using BoxCollector = std::function<void(const std::string &caption, const std::string &text)>;
    void CollectBoxes(BoxCollector collector) { collector_ = std::move(collector); }

private:
    explicit Terminal(::screen *screen);
    void DrawBox();

    ::screen *screen_;

    std::function<void()> background_;
    BoxCollector collector_;
    DialogLayer *dialogs_ = nullptr;
    tessel::ui::Backend *previous_ = nullptr;

    // The message box on screen, if any.
    struct Box {
        bool up = false;
        std::string caption;
        std::string text;
        UINT type = 0;
        int focus = 0; // button index
    } box_;
};

// Draws text at (y, x) cut to width columns, as ForPeople shows it, in the locale's
// character set.
void PutText(int y, int x, const std::string &text, int width, TextKind kind = TextKind::Name);
// The lines of a text, split at its line ends and wrapped at width bytes, at a space
// where there is one.
std::vector<std::string> WrapLines(const std::string &text, size_t width);
// A frame with a title in its top edge.
void DrawFrame(int top, int left, int height, int width, const std::string &title);

} // namespace tessel::host
