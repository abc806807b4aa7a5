// The user-interface backend behind the platform's message boxes and dialogs: a host
// installs one that draws in the terminal, a test one that records.
//
// Dialogs live in the platform (windows, controls and their state, driven by the
// plug-in's dialog procedures); a backend only draws them and feeds the user's keys:
//
//   - The platform calls DialogShown, DialogChanged and DialogClosed on the dialog's
//     own thread (the thread that runs its message loop), right after the change. A
//     backend marks the dialog for repainting; it must not destroy windows or send
//     keys from inside these calls.
//   - To draw, the backend reads a snapshot with DescribeDialog: the caption, the
//     template font, and every control in template order (which is the tab order)
//     with its class, style, text, position and size in dialog units and its state.
//     Dialog units map one to one onto this platform's coordinates: one character
//     cell is 4 units wide and 8 high.
//   - Keys go in through PressKey and TypeText, on the dialog's thread.
//     They reach the dialog as Windows delivers them: WM_KEYDOWN / WM_CHAR / WM_KEYUP
//     to the focused control through IsDialogMessageA, so Tab, Shift+Tab, the arrow
//     keys in a radio group, Enter (default button) and Escape (Cancel) behave as in
//     a Windows dialog. A printable key given to PressKey also types its character
//     through the thread's queue, as TranslateMessage does; a host's message loop
//     hands queued messages to IsDialogMessageA of each open dialog first.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tessel::ui {

enum class ControlKind {
    PushButton,  // BS_PUSHBUTTON / BS_DEFPUSHBUTTON
    CheckBox,    // BS_CHECKBOX / BS_AUTOCHECKBOX
    RadioButton, // BS_RADIOBUTTON / BS_AUTORADIOBUTTON
    GroupBox,    // BS_GROUPBOX: a frame with a caption
    Label,       // Static
    Edit,        // single-line, or multi-line with ES_MULTILINE
    ComboBox,    // CBS_DROPDOWNLIST (list only) or CBS_DROPDOWN (with an edit field)
    Other,
};

struct ControlView {
    HWND window = nullptr;
    int id = 0;
    ControlKind kind = ControlKind::Other;
    std::string className; // "Button", "Edit", "Static", "ComboBox"
    DWORD style = 0;       // the window style: WS_*, and BS_*, ES_*, SS_* or CBS_*
    RECT rect{};           // in the dialog's client area, dialog units; a combo box closed
    RECT listRect{};       // combo boxes: the open list, below the closed box
    std::string text;      // caption, edit text, or the text a combo box shows
    bool visible = false;
    bool enabled = false;
    bool focused = false;   // the control (or a combo box's edit field) has the focus
    bool isDefault = false; // the default push button: Enter presses it
    UINT checked = BST_UNCHECKED;
    std::vector<std::string> items; // combo boxes: the list, in list order
    int selection = -1;             // combo boxes: the selected position, -1 for none
    bool dropped = false;           // combo boxes: the list is open
    int selectionStart = 0;         // edits and a combo box's edit field; the caret is at
    int selectionEnd = 0;           // selectionEnd
    int firstLine = 0;              // edits: the first line shown (multi-line) ...
    int firstColumn = 0;            // ... and the first column shown
};

struct DialogView {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::string caption;
    std::string fontName; // from the template ("MS Sans Serif"); a hint only
    int fontPoints = 0;
    RECT rect{}; // the client area on the screen, in dialog units
    bool visible = false;
    std::vector<ControlView> controls;
};

class Backend {
public:
    virtual ~Backend() = default;
    // A modal message box; returns the id of the button that closed it (IDOK, ...).
    virtual int MessageBox(HWND owner, const char *text, const char *caption, UINT type) = 0;
    // A dialog became visible, changed while visible, or was destroyed.
    virtual void DialogShown(HWND dialog) { (void)dialog; }
    virtual void DialogChanged(HWND dialog) { (void)dialog; }
    virtual void DialogClosed(HWND dialog) { (void)dialog; }
    // Something the user should know that asks for no answer (settings that could not
    // be saved); by default it goes to stderr.
    virtual void Notice(const char *text);
};

// Installs the backend for the whole process; nullptr restores the default, which
// prints message boxes to stderr and answers IDOK, and draws no dialog. Returns the
// previous one.
Backend *InstallBackend(Backend *backend);
Backend *CurrentBackend();
// Hands a notice to the installed backend, or prints it to stderr without one.
void Notify(const char *text);

// The dialogs that exist now, oldest first.
std::vector<HWND> Dialogs();
// A snapshot of a dialog for drawing; false when dialog is not a dialog.
bool DescribeDialog(HWND dialog, DialogView &view);

// Moves the keyboard focus into dialog (back to the control that last had it there, or
// its first tab stop), as activating a window does.
bool ActivateDialog(HWND dialog);
// One key press (down and up) to the dialog's focused control; shift for Shift+Tab.
bool PressKey(HWND dialog, UINT virtualKey, bool shift = false);
// Characters typed one by one (WM_CHAR each) into the focused control.
bool TypeText(HWND dialog, const char *text);
// Hands every message queued for the calling thread to the open dialogs, dispatching
// the rest; a host with a message loop of its own does this there.
void PumpMessages();

} // namespace tessel::ui
