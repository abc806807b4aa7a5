// The platform's dialogs drawn in the terminal: every control at its template position
// scaled to character cells (about 3.3 x 8 dialog units a cell, fewer cells when the
// terminal is small), the focus, open combo lists, check and radio marks, scrollable
// multi-line edits. Keys go to the dialog in front, the one shown last.
#pragma once

#include <tessel/ui_backend.h>

#include <vector>

namespace tessel::host {

class DialogLayer {
public:
    // Draws every visible dialog, the one in front last.
    void Draw();
    // A dialog is open and takes the keys.
    bool Open() const;
    // Gives the key (an ncurses key code) to the dialog in front; false when no dialog
    // is open to take it.
    bool Key(int key);

    // From the backend: a dialog came up (it goes in front), or went away.
    void Shown(HWND dialog);
    void Closed(HWND dialog);

private:
    HWND Front() const;
    void DrawDialog(const tessel::ui::DialogView &view, bool front);

    std::vector<HWND> order_; // back to front
};

} // namespace tessel::host
