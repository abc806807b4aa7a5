// Records the message boxes shown on the test's thread and closes each with its
// first button: under Windows through a CBT hook on the real box, natively through
// the platform's user-interface backend.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RecordedBox {
    HWND owner;
    std::string caption;
    std::string text;
    UINT icon;    // MB_ICONWARNING, ... or 0
    UINT buttons; // MB_OK, MB_OKCANCEL, ...
};

class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder &) = delete;
    BoxRecorder &operator=(const BoxRecorder &) = delete;

    const std::vector<RecordedBox> &Boxes() const { return boxes; }
    void Clear() { boxes.clear(); }

    // Called by the platform-specific capture.
    void Add(RecordedBox box) { boxes.push_back(std::move(box)); }

private:
    std::vector<RecordedBox> boxes;
    void *capture;
};

// "caption: text" of every box, for assertion messages.
std::string Describe(const std::vector<RecordedBox> &boxes);
