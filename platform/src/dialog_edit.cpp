// Edit fields: single-line (also the field of a drop-down combo box) and multi-line.
// The text is the window text; the selection runs from anchor to caret. A multi-line
// edit scrolls by character cells (4 x 8 dialog units), which is what a host draws.
#include "dialog_internal.h"

#include <algorithm>

namespace tessel::platform {

namespace {

struct Line {
    int start;
    int length; // without its line break
};

DWORD StyleOf(HWND edit)
{
    return static_cast<DWORD>(GetWindowLongA(edit, GWL_STYLE));
}

// Lines end at CR LF (a lone LF counts as a break too).
std::vector<Line> LinesOf(const std::string &text, bool multiline)
{
    std::vector<Line> lines;
    if (!multiline) {
        lines.push_back({0, static_cast<int>(text.size())});
        return lines;
    }
    int start = 0;
    for (int i = 0; i < static_cast<int>(text.size()); ++i) {
        if (text[static_cast<size_t>(i)] == '\r' && i + 1 < static_cast<int>(text.size()) &&
            text[static_cast<size_t>(i) + 1] == '\n') {
            lines.push_back({start, i - start});
            start = i + 2;
            ++i;
        } else if (text[static_cast<size_t>(i)] == '\n') {
            lines.push_back({start, i - start});
            start = i + 1;
        }
    }
    lines.push_back({start, static_cast<int>(text.size()) - start});
    return lines;
}

int LineOf(const std::vector<Line> &lines, int position)
{
    for (size_t i = lines.size(); i-- > 0;)
        if (position >= lines[i].start)
            return static_cast<int>(i);
    return 0;
}

struct Size {
    int columns;
    int rows;
};

Size VisibleCells(HWND edit)
{
    RECT rect;
    GetClientRect(edit, &rect);
    return {std::max(1, static_cast<int>(rect.right - rect.left) / kCellWidth),
            std::max(1, static_cast<int>(rect.bottom - rect.top) / kCellHeight)};
}

class Edit {
public:
    Edit(HWND window, std::shared_ptr<EditState> state)
        : window_(window), state_(std::move(state)), style_(StyleOf(window)), multiline_((style_ & ES_MULTILINE) != 0)
    {
    }

    std::string Text() const { return WindowText(window_); }
    int Length() const { return static_cast<int>(Text().size()); }
    int Start() const { return std::min(state_->anchor, state_->caret); }
    int End() const { return std::max(state_->anchor, state_->caret); }
    bool ReadOnly() const { return (StyleOf(window_) & ES_READONLY) != 0; }
    bool InCombo() const { return (style_ & kEditInCombo) != 0; }

    void Select(int anchor, int caret)
    {
        int length = Length();
        state_->anchor = std::clamp(anchor, 0, length);
        state_->caret = std::clamp(caret, 0, length);
        WindowChanged(window_, WindowChange::State);
    }

    // Keeps the caret in view, by whole cells.
    void ScrollToCaret()
    {
        std::vector<Line> lines = LinesOf(Text(), multiline_);
        int line = LineOf(lines, state_->caret);
        int column = state_->caret - lines[static_cast<size_t>(line)].start;
        Size visible = VisibleCells(window_);
        if (multiline_) {
            if (line < state_->firstLine)
                state_->firstLine = line;
            else if (line >= state_->firstLine + visible.rows)
                state_->firstLine = line - visible.rows + 1;
        }
        if (column < state_->firstColumn)
            state_->firstColumn = column;
        else if (column >= state_->firstColumn + visible.columns)
            state_->firstColumn = column - visible.columns + 1;
        WindowChanged(window_, WindowChange::State);
    }

    // Puts text in place of the selection, the caret after it; a user's change is
    // announced with EN_UPDATE, then EN_CHANGE, after the caret has moved.
    void Replace(const std::string &text, bool notify)
    {
        std::string whole = Text();
        int start = Start();
        int end = End();
        whole.replace(static_cast<size_t>(start), static_cast<size_t>(end - start), text);
        DefWindowProcA(window_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(whole.c_str()));
        state_->anchor = state_->caret = start + static_cast<int>(text.size());
        ScrollToCaret();
        if (notify)
            Notify();
    }

    void Notify()
    {
        NotifyParent(window_, EN_UPDATE);
        if (IsWindow(window_))
            NotifyParent(window_, EN_CHANGE);
    }

    void SetText(const char *text)
    {
        DefWindowProcA(window_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : ""));
        state_->anchor = state_->caret = 0;
        state_->firstLine = state_->firstColumn = 0;
        WindowChanged(window_, WindowChange::State);
        // A multi-line edit, or a combo box's, says nothing of text set by the program.
        if (!multiline_ && !InCombo())
            Notify();
    }

    void Character(char character)
    {
        if (ReadOnly())
            return;
        if (character == '\b') {
            if (Start() == End()) {
                if (state_->caret == 0)
                    return;
                std::string text = Text();
                int back = (multiline_ && state_->caret >= 2 && text[static_cast<size_t>(state_->caret) - 1] == '\n' &&
                            text[static_cast<size_t>(state_->caret) - 2] == '\r')
                               ? 2
                               : 1;
                state_->anchor = state_->caret - back;
            }
            Replace("", true);
            return;
        }
        if (character == '\r') {
            if (multiline_ && (style_ & ES_WANTRETURN))
                Replace("\r\n", true);
            return;
        }
        if (static_cast<unsigned char>(character) < 0x20)
            return;
        Replace(std::string(1, character), true);
    }

    void Key(WPARAM key)
    {
        bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
        std::vector<Line> lines = LinesOf(Text(), multiline_);
        int line = LineOf(lines, state_->caret);
        int column = state_->caret - lines[static_cast<size_t>(line)].start;
        int target = state_->caret;
        auto lineStart = [&](int index) { return lines[static_cast<size_t>(index)].start; };
        auto at = [&](int index, int wanted) {
            const Line &chosen = lines[static_cast<size_t>(std::clamp(index, 0, static_cast<int>(lines.size()) - 1))];
            return chosen.start + std::min(wanted, chosen.length);
        };
        switch (key) {
        case VK_LEFT:
            if (!shift && Start() != End())
                target = Start();
            else if (column == 0 && line > 0)
                target = at(line - 1, lines[static_cast<size_t>(line) - 1].length);
            else if (target > 0)
                target -= 1;
            break;
        case VK_RIGHT:
            if (!shift && Start() != End())
                target = End();
            else if (column < lines[static_cast<size_t>(line)].length)
                target += 1;
            else if (line + 1 < static_cast<int>(lines.size()))
                target = lineStart(line + 1);
            break;
        case VK_HOME:
            target = control ? 0 : lineStart(line);
            break;
        case VK_END:
            target = control ? Length() : at(line, lines[static_cast<size_t>(line)].length);
            break;
        case VK_UP:
        case VK_DOWN:
        case VK_PRIOR:
        case VK_NEXT: {
            if (!multiline_)
                return;
            int step = (key == VK_PRIOR || key == VK_NEXT) ? VisibleCells(window_).rows : 1;
            target = at(line + ((key == VK_UP || key == VK_PRIOR) ? -step : step), column);
            break;
        }
        case VK_DELETE:
            if (ReadOnly())
                return;
            if (Start() == End()) {
                if (state_->caret >= Length())
                    return;
                std::string text = Text();
                bool pair = text.compare(static_cast<size_t>(state_->caret), 2, "\r\n") == 0;
                state_->anchor = state_->caret + (pair ? 2 : 1);
            }
            Replace("", true);
            return;
        default:
            return;
        }
        state_->caret = target;
        if (!shift)
            state_->anchor = target;
        ScrollToCaret();
    }

private:
    HWND window_;
    std::shared_ptr<EditState> state_;
    DWORD style_;
    bool multiline_;
};

} // namespace

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        AttachState<EditState>(window);
        // As on Windows, a bordered edit gets the sunken client edge instead.
        DWORD style = StyleOf(window);
        if (style & WS_BORDER) {
            SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(style & ~static_cast<DWORD>(WS_BORDER)));
            SetWindowLongA(window, GWL_EXSTYLE, GetWindowLongA(window, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    auto state = StateOf<EditState>(window);
    if (!state)
        return DefWindowProcA(window, message, wParam, lParam);
    Edit edit(window, state);
    bool multiline = (StyleOf(window) & ES_MULTILINE) != 0;
    switch (message) {
    case WM_SETTEXT:
        edit.SetText(reinterpret_cast<const char *>(lParam));
        return TRUE;
    case WM_GETDLGCODE: {
        LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        if (multiline)
            code |= DLGC_WANTALLKEYS;
        auto *asked = reinterpret_cast<const MSG *>(lParam);
        if (asked && asked->message == WM_KEYDOWN && edit.InCombo() &&
            (asked->wParam == VK_RETURN || asked->wParam == VK_ESCAPE) &&
            SendMessageA(GetParent(window), CB_GETDROPPEDSTATE, 0, 0))
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_CHAR:
        edit.Character(static_cast<char>(wParam));
        return 0;
    case WM_KEYDOWN: {
        HWND parent = GetParent(window);
        if (edit.InCombo() &&
            (wParam == VK_UP || wParam == VK_DOWN || wParam == VK_F4 ||
             ((wParam == VK_RETURN || wParam == VK_ESCAPE) && SendMessageA(parent, CB_GETDROPPEDSTATE, 0, 0)))) {
            SendMessageA(parent, WM_KEYDOWN, wParam, lParam); // the combo box's keys
            return 0;
        }
        // A multi-line edit in a dialog gets every key; these still belong to the dialog.
        if (multiline && DialogOf(window)) {
            if (wParam == VK_TAB) {
                SendMessageA(parent, WM_NEXTDLGCTL, (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0, 0);
                return 0;
            }
            if (wParam == VK_ESCAPE) {
                PostMessageA(parent, WM_CLOSE, 0, 0);
                return 0;
            }
        }
        edit.Key(wParam);
        return 0;
    }
    case EM_GETSEL: {
        DWORD start = static_cast<DWORD>(edit.Start());
        DWORD end = static_cast<DWORD>(edit.End());
        if (wParam)
            *reinterpret_cast<DWORD *>(wParam) = start;
        if (lParam)
            *reinterpret_cast<DWORD *>(lParam) = end;
        return (start > 0xFFFF || end > 0xFFFF) ? -1 : MAKELONG(start, end);
    }
    case EM_SETSEL: {
        int start = static_cast<int>(static_cast<INT_PTR>(wParam));
        int end = static_cast<int>(lParam);
        if (start < 0) {
            start = end = state->caret; // -1: no selection, the caret stays
        } else if (end < 0) {
            end = edit.Length();
        }
        edit.Select(start, end);
        return 0;
    }
    case EM_REPLACESEL:
        edit.Replace(lParam ? reinterpret_cast<const char *>(lParam) : "", true);
        return 0;
    case EM_GETLINECOUNT:
        return static_cast<LRESULT>(LinesOf(edit.Text(), multiline).size());
    case EM_GETFIRSTVISIBLELINE:
        return multiline ? state->firstLine : state->firstColumn;
    case WM_SETFOCUS:
        NotifyParent(window, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        NotifyParent(window, EN_KILLFOCUS);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace tessel::platform
