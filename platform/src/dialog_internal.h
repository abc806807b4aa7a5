// Shared by the dialog manager, its controls and the backend adapter.
#pragma once

#include "windows_internal.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace tessel::platform {

// The parsed form of a DLGTEMPLATE or DLGTEMPLATEEX resource.
struct DialogItemTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::string className;
    std::string text;
    std::vector<unsigned char> creationData;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string className; // empty: the dialog class
    std::string caption;
    int fontPoints = 0;
    std::string fontName;
    std::vector<DialogItemTemplate> items;
};

// False for a template that is cut short or malformed.
bool ParseDialogTemplate(const unsigned char *data, size_t size, DialogTemplate &parsed);

// Registers Button, Edit, Static, ComboBox and the dialog class, once per process.
void RegisterDialogClasses();

// State kept with a control or dialog window (its attachment).
struct ControlState {
    virtual ~ControlState() = default;
};

struct DialogState : ControlState {
    int defaultId = IDOK;     // DM_GETDEFID
    HWND lastFocus = nullptr; // the control that last had the focus in this dialog
    std::string fontName;
    int fontPoints = 0;
};

struct ButtonState : ControlState {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
};

struct EditState : ControlState {
    int anchor = 0; // the selection runs from anchor to caret
    int caret = 0;
    int firstLine = 0;
    int firstColumn = 0;
};

struct ComboState : ControlState {
    std::vector<std::string> items;
    int selection = -1;
    bool dropped = false;
    HWND edit = nullptr;    // CBS_DROPDOWN's edit field
    bool quietEdit = false; // text set by the combo box itself: no CBN_EDIT* notices
    int listHeight = 0;     // the template height: closed box and open list together
};

template <class T>
std::shared_ptr<T> StateOf(HWND window)
{
    auto attachment = std::static_pointer_cast<ControlState>(WindowAttachment(window));
    return std::dynamic_pointer_cast<T>(attachment);
}

template <class T>
std::shared_ptr<T> AttachState(HWND window)
{
    auto state = std::make_shared<T>();
    SetWindowAttachment(window, std::static_pointer_cast<void>(std::static_pointer_cast<ControlState>(state)));
    return state;
}

// The dialog a window belongs to (itself, or its nearest dialog ancestor), or null.
HWND DialogOf(HWND window);
bool IsDialog(HWND window);
void RegisterDialog(HWND dialog);

// The height of a closed combo box and of a single-line edit's text row.
constexpr int kClosedComboHeight = 12;
// One character cell in dialog units, for scrolling multi-line edits.
constexpr int kCellWidth = 4;
constexpr int kCellHeight = 8;
// The id a drop-down combo box gives its edit field.
constexpr int kComboEditId = 1001;
// The style that marks a combo box's own edit field.
constexpr DWORD kEditInCombo = 0x0200;

// Window procedures of the controls.
LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The thread's keyboard state as the backend's key input set it (for GetKeyState).
void SetKeyDown(int virtualKey, bool down);

// Sends WM_COMMAND with a notification code to a control's parent.
void NotifyParent(HWND control, WORD code);

} // namespace tessel::platform
