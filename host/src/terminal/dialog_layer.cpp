#include "terminal/dialog_layer.h"

#include "terminal/terminal.h"
#include "util/text.h"

#include <curses.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace tessel::host {
namespace {

using tessel::ui::ControlKind;
using tessel::ui::ControlView;
using tessel::ui::DialogView;

// Dialog units per character cell. The template's font is proportional and about
// three and a half units a character; a terminal's cells are all alike, so a column
// takes a little less than the platform's four units and labels keep their room.
constexpr double kColumnsPerUnit = 0.3;
constexpr double kRowsPerUnit = 0.125;

// Where the dialog's client area lands on the screen and how units become cells.
struct Layout {
    int top = 0, left = 0;
    double sx = kColumnsPerUnit, sy = kRowsPerUnit;

    int Col(LONG x) const { return left + int(std::floor(x * sx)); }
    int Row(LONG y) const { return top + int(std::floor(y * sy)); }
};

struct Cells {
    int y0, x0, height, width;
    int Middle() const { return y0 + (height - 1) / 2; }
};

Layout LayoutFor(const DialogView &view)
{
    Layout layout;
    LONG width = std::max<LONG>(1, view.rect.right - view.rect.left);
    LONG height = std::max<LONG>(1, view.rect.bottom - view.rect.top);
    // The client area plus a frame of one cell all round must fit the screen.
    layout.sx = std::min(kColumnsPerUnit, double(std::max(1, COLS - 2)) / width);
    layout.sy = std::min(kRowsPerUnit, double(std::max(1, LINES - 2)) / height);
    int columns = int(std::ceil(width * layout.sx)), rows = int(std::ceil(height * layout.sy));
    layout.left = std::max(1, (COLS - columns) / 2);
    layout.top = std::max(1, (LINES - rows) / 2);
    return layout;
}

Cells CellsOf(const Layout &layout, const RECT &rect)
{
    Cells cells;
    cells.x0 = layout.Col(rect.left);
    cells.width = std::max(1, layout.Col(rect.right) - cells.x0);
    cells.y0 = layout.Row(rect.top);
    cells.height = std::max(1, layout.Row(rect.bottom) - cells.y0);
    return cells;
}

// The one row of a control one line high: the row of its middle, so that a label and
// the taller edit beside it share a row as they share a baseline on Windows.
// A framed control (group box, edit with a border) takes the rows of both its edges.
Cells FrameCellsOf(const Layout &layout, const RECT &rect)
{
    Cells cells = CellsOf(layout, rect);
    cells.height = std::max(1, layout.Row(rect.bottom) - cells.y0 + 1);
    return cells;
}

int MiddleRow(const Layout &layout, const RECT &rect)
{
    return layout.Row((rect.top + rect.bottom) / 2);
}

// "&OK" shows as "OK"; "&&" is one "&".
std::string WithoutMnemonic(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        out.push_back(text[i]);
    }
    return out;
}

void Fill(int y, int x, int width)
{
    PutText(y, x, std::string(size_t(std::max(0, width)), ' '), width);
}

// Line and column of a character offset in a text whose lines end in CR LF.
void LineAndColumn(const std::string &text, int offset, int &line, int &column)
{
    line = 0;
    column = 0;
    for (int i = 0; i < offset && i < int(text.size()); ++i) {
        char c = text[size_t(i)];
        if (c == '\n') {
            ++line;
            column = 0;
        } else if (c != '\r') {
            ++column;
        }
    }
}

// The first of count things to show in room places so that wanted is among them,
// starting from the platform's own scroll position when that already shows it.
int Scrolled(int first, int wanted, int room, int count)
{
    if (wanted < first)
        first = wanted;
    if (wanted >= first + room)
        first = wanted - room + 1;
    return std::max(0, std::min(first, std::max(0, count - room)));
}

attr_t Attributes(const ControlView &control, bool front)
{
    attr_t attributes = A_NORMAL;
    if (!control.enabled)
        attributes |= A_DIM;
    if (control.focused && front)
        attributes |= A_REVERSE;
    return attributes;
}

void DrawEdges(const Cells &cells, const std::string &title)
{
    int bottom = cells.y0 + cells.height - 1, right = cells.x0 + cells.width - 1;
    if (cells.height < 2 || cells.width < 2)
        return;
    mvhline(cells.y0, cells.x0 + 1, ACS_HLINE, cells.width - 2);
    mvhline(bottom, cells.x0 + 1, ACS_HLINE, cells.width - 2);
    mvvline(cells.y0 + 1, cells.x0, ACS_VLINE, cells.height - 2);
    mvvline(cells.y0 + 1, right, ACS_VLINE, cells.height - 2);
    mvaddch(cells.y0, cells.x0, ACS_ULCORNER);
    mvaddch(cells.y0, right, ACS_URCORNER);
    mvaddch(bottom, cells.x0, ACS_LLCORNER);
    mvaddch(bottom, right, ACS_LRCORNER);
    if (!title.empty())
        PutText(cells.y0, cells.x0 + 1, title, cells.width - 2);
}

void DrawButton(const Layout &layout, const ControlView &control, bool front)
{
    Cells cells = CellsOf(layout, control.rect);
    int y = MiddleRow(layout, control.rect);
    std::string label = WithoutMnemonic(control.text);
    LONG type = control.style & BS_TYPEMASK;
    attr_t attributes = Attributes(control, front);
    if (control.kind == ControlKind::PushButton) {
        std::string shown = "[ " + label + " ]";
        if (control.isDefault)
            attributes |= A_BOLD;
        int x = cells.x0 + std::max(0, (cells.width - int(shown.size())) / 2);
        attron(attributes);
        PutText(y, x, shown, std::max(cells.width, int(shown.size())));
        attroff(attributes);
        return;
    }
    bool radio = control.kind == ControlKind::RadioButton || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
    bool checked = control.checked == BST_CHECKED;
    std::string mark = radio ? (checked ? "(*)" : "( )") : (checked ? "[x]" : "[ ]");
    if (control.checked == BST_INDETERMINATE)
        mark = "[-]";
    PutText(y, cells.x0, mark + " ", 4);
    attron(attributes);
    PutText(y, cells.x0 + 4, label, std::max(1, cells.width - 4 + 8)); // a label may run on a little
    attroff(attributes);
}

void DrawSingleLineEdit(int y, int x, int width, const ControlView &control, bool front, bool caret)
{
    int line = 0, column = 0;
    LineAndColumn(control.text, control.selectionEnd, line, column);
    int first = Scrolled(control.firstColumn, column, width, int(control.text.size()) + 1);
    // A name (a path) may be UTF-8: never start inside a character, and leave the cut
    // at width columns to PutText.
    if (ValidUtf8(control.text))
        while (first > 0 && size_t(first) < control.text.size() && (control.text[size_t(first)] & 0xC0) == 0x80)
            --first;
    std::string shown = control.text.size() > size_t(first) ? control.text.substr(size_t(first)) : "";
    if (shown.size() < size_t(width))
        shown.resize(size_t(width), ' ');
    else
        Fill(y, x, width);
    attr_t attributes = A_UNDERLINE | (control.enabled ? A_NORMAL : A_DIM);
    if (control.focused && front && !caret)
        attributes = A_REVERSE;
    attron(attributes);
    PutText(y, x, shown, width);
    attroff(attributes);
    if (control.focused && front && caret && column - first < width) {
        attron(A_REVERSE);
        PutText(y, x + column - first, std::string(1, shown[size_t(column - first)]), 1);
        attroff(A_REVERSE);
    }
}

void DrawMultiLineEdit(const Layout &layout, const ControlView &control, bool front)
{
    // A border, or the client edge the dialog manager gives an edit instead, as Windows does.
    bool border = (control.style & WS_BORDER) || (GetWindowLongA(control.window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    Cells cells = border ? FrameCellsOf(layout, control.rect) : CellsOf(layout, control.rect);
    border = border && cells.height >= 3 && cells.width >= 3;
    int inset = border ? 1 : 0;
    int rows = cells.height - 2 * inset, columns = cells.width - 2 * inset;
    if (rows < 1 || columns < 1)
        return;
    std::vector<std::string> lines;
    {
        std::string line;
        for (size_t i = 0; i < control.text.size(); ++i) {
            char c = control.text[i];
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else if (c != '\r') {
                line.push_back(c);
            }
        }
        lines.push_back(line);
    }
    int caretLine = 0, caretColumn = 0;
    LineAndColumn(control.text, control.selectionEnd, caretLine, caretColumn);
    int firstLine = Scrolled(control.firstLine, caretLine, rows, int(lines.size()));
    size_t widest = 0;
    for (const std::string &line : lines)
        widest = std::max(widest, line.size());
    int firstColumn = Scrolled(control.firstColumn, caretColumn, columns, int(widest) + 1);

    bool focused = control.focused && front;
    if (border) {
        if (focused)
            attron(A_BOLD);
        DrawEdges(cells, "");
        attroff(A_BOLD);
    }
    for (int row = 0; row < rows; ++row) {
        size_t index = size_t(firstLine + row);
        std::string shown;
        if (index < lines.size() && lines[index].size() > size_t(firstColumn))
            shown = lines[index].substr(size_t(firstColumn));
        shown.resize(size_t(columns), ' ');
        // Sample names and song messages: module texts, one byte a column.
        PutText(cells.y0 + inset + row, cells.x0 + inset, shown, columns, TextKind::Module);
        if (focused && int(index) == caretLine && caretColumn - firstColumn < columns) {
            attron(A_REVERSE);
            PutText(cells.y0 + inset + row, cells.x0 + inset + caretColumn - firstColumn,
                    std::string(1, shown[size_t(caretColumn - firstColumn)]), 1, TextKind::Module);
            attroff(A_REVERSE);
        }
    }
    // Scroll marks in the border: more above, below, to the left, to the right.
    if (border) {
        int right = cells.x0 + cells.width - 1, bottom = cells.y0 + cells.height - 1;
        if (firstLine > 0)
            mvaddch(cells.y0 + 1, right, '^');
        if (firstLine + rows < int(lines.size()))
            mvaddch(bottom - 1, right, 'v');
        if (firstColumn > 0)
            mvaddch(bottom, cells.x0 + 1, '<');
        if (int(widest) > firstColumn + columns)
            mvaddch(bottom, right - 1, '>');
        if (int(lines.size()) > rows) {
            std::string where = " " + std::to_string(caretLine + 1) + "/" + std::to_string(lines.size()) + " ";
            PutText(bottom, right - 2 - int(where.size()), where, int(where.size()));
        }
    }
}

// The cells of a one-line edit. In a dialog squeezed to a small screen the label in
// front of it may need more columns than the template's units give it (the terminal's
// letters are wider than the template's font): the edit then starts one blank after the
// label's whole text and gives up those columns at its left.
Cells FieldCells(const Layout &layout, const DialogView &view, const ControlView &edit)
{
    Cells cells = CellsOf(layout, edit.rect);
    int row = MiddleRow(layout, edit.rect);
    int start = cells.x0;
    for (const ControlView &label : view.controls) {
        if (!label.visible || label.kind != ControlKind::Label || MiddleRow(layout, label.rect) != row)
            continue;
        int x = CellsOf(layout, label.rect).x0;
        if (x < cells.x0)
            start = std::max(start, x + int(WithoutMnemonic(label.text).size()) + 1);
    }
    start = std::min(start, cells.x0 + cells.width - 1);
    cells.width -= start - cells.x0;
    cells.x0 = start;
    return cells;
}

bool OneLineEdit(const ControlView &control)
{
    return control.kind == ControlKind::Edit && !(control.style & ES_MULTILINE);
}

void DrawEdit(const Layout &layout, const DialogView &view, const ControlView &control, bool front)
{
    if (control.style & ES_MULTILINE) {
        DrawMultiLineEdit(layout, control, front);
        return;
    }
    Cells cells = FieldCells(layout, view, control);
    bool readOnly = (control.style & ES_READONLY) != 0;
    DrawSingleLineEdit(MiddleRow(layout, control.rect), cells.x0, cells.width, control, front, !readOnly);
}

bool HasEditField(const ControlView &control)
{
    return (control.style & 0x3) == CBS_DROPDOWN;
}

void DrawCombo(const Layout &layout, const ControlView &control, bool front)
{
    Cells cells = CellsOf(layout, control.rect);
    int y = MiddleRow(layout, control.rect);
    int field = std::max(1, cells.width - 2);
    if (HasEditField(control)) {
        DrawSingleLineEdit(y, cells.x0, field, control, front, true);
    } else {
        std::string shown = control.text;
        shown.resize(size_t(field), ' ');
        attr_t attributes = control.focused && front ? A_REVERSE : A_UNDERLINE;
        attron(attributes);
        PutText(y, cells.x0, shown, field);
        attroff(attributes);
    }
    PutText(y, cells.x0 + field, " v", 2);
}

// The open list of a combo box, over whatever lies below it.
void DrawComboList(const Layout &layout, const ControlView &control)
{
    Cells box = CellsOf(layout, control.rect);
    int top = MiddleRow(layout, control.rect) + 1;
    int bottom = std::max(top + 2, layout.Row(control.listRect.bottom));
    int rows = std::min<int>(int(control.items.size()), bottom - top - 2);
    rows = std::max(1, std::min(rows, LINES - top - 2));
    Cells list{top, box.x0, rows + 2, box.width};
    for (int y = list.y0; y < list.y0 + list.height; ++y)
        Fill(y, list.x0, list.width);
    DrawEdges(list, "");
    int first = Scrolled(0, std::max(0, control.selection), rows, int(control.items.size()));
    for (int row = 0; row < rows && size_t(first + row) < control.items.size(); ++row) {
        bool selected = first + row == control.selection;
        std::string item = control.items[size_t(first + row)];
        item.resize(size_t(std::max(1, list.width - 2)), ' ');
        if (selected)
            attron(A_REVERSE);
        PutText(list.y0 + 1 + row, list.x0 + 1, item, list.width - 2);
        attroff(A_REVERSE);
    }
}

// A label's text may run past its template width (the terminal's letters are wider
// than the template's font when the dialog is squeezed) up to the next control on its
// row, with one blank between.
int RoomRightOf(const Layout &layout, const DialogView &view, const ControlView &label, int row, int x)
{
    int room = COLS - x;
    for (const ControlView &other : view.controls) {
        if (&other == &label || !other.visible || other.kind == ControlKind::GroupBox)
            continue;
        Cells cells = OneLineEdit(other) ? FieldCells(layout, view, other) : CellsOf(layout, other.rect);
        bool sameRow = row >= cells.y0 && row < cells.y0 + cells.height;
        if (other.kind != ControlKind::Edit || !(other.style & ES_MULTILINE))
            sameRow = row == MiddleRow(layout, other.rect);
        if (sameRow && cells.x0 > x)
            room = std::min(room, cells.x0 - x - 1);
    }
    return std::max(room, CellsOf(layout, label.rect).width);
}

} // namespace

HWND DialogLayer::Front() const
{
    for (auto it = order_.rbegin(); it != order_.rend(); ++it)
        if (IsWindow(*it) && IsWindowVisible(*it))
            return *it;
    return nullptr;
}

bool DialogLayer::Open() const
{
    return Front() != nullptr;
}

void DialogLayer::Shown(HWND dialog)
{
    order_.erase(std::remove(order_.begin(), order_.end(), dialog), order_.end());
    order_.push_back(dialog);
}

void DialogLayer::Closed(HWND dialog)
{
    order_.erase(std::remove(order_.begin(), order_.end(), dialog), order_.end());
    if (HWND front = Front())
        tessel::ui::ActivateDialog(front);
}

void DialogLayer::Draw()
{
    HWND front = Front();
    for (HWND dialog : order_) {
        DialogView view;
        if (!tessel::ui::DescribeDialog(dialog, view) || !view.visible)
            continue;
        DrawDialog(view, dialog == front);
    }
}

void DialogLayer::DrawDialog(const DialogView &view, bool front)
{
    Layout layout = LayoutFor(view);
    int width = int(std::ceil((view.rect.right - view.rect.left) * layout.sx)) + 2;
    int height = int(std::ceil((view.rect.bottom - view.rect.top) * layout.sy)) + 2;
    if (front)
        attron(A_BOLD);
    DrawFrame(layout.top - 1, layout.left - 1, height, width, view.caption);
    attroff(A_BOLD);

    // Group boxes first: in the templates they may follow the buttons they frame.
    for (const ControlView &control : view.controls)
        if (control.visible && control.kind == ControlKind::GroupBox)
            DrawEdges(FrameCellsOf(layout, control.rect), WithoutMnemonic(control.text));
    const ControlView *dropped = nullptr;
    for (const ControlView &control : view.controls) {
        if (!control.visible)
            continue;
        switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            DrawButton(layout, control, front);
            break;
        case ControlKind::Label: {
            Cells cells = CellsOf(layout, control.rect);
            int row = MiddleRow(layout, control.rect);
            PutText(row, cells.x0, WithoutMnemonic(control.text), RoomRightOf(layout, view, control, row, cells.x0));
            break;
        }
        case ControlKind::Edit:
            DrawEdit(layout, view, control, front);
            break;
        case ControlKind::ComboBox:
            DrawCombo(layout, control, front);
            if (control.dropped)
                dropped = &control;
            break;
        default:
            break;
        }
    }
    if (dropped)
        DrawComboList(layout, *dropped);
}

bool DialogLayer::Key(int key)
{
    HWND front = Front();
    if (!front)
        return false;
    DialogView view;
    const ControlView *focused = nullptr;
    if (tessel::ui::DescribeDialog(front, view))
        for (const ControlView &control : view.controls)
            if (control.focused)
                focused = &control;
    bool combo = focused && focused->kind == ControlKind::ComboBox;

    switch (key) {
    case '\t':
        tessel::ui::PressKey(front, VK_TAB);
        break;
    case KEY_BTAB:
        tessel::ui::PressKey(front, VK_TAB, true);
        break;
    case KEY_UP:
        tessel::ui::PressKey(front, VK_UP);
        break;
    case KEY_DOWN:
        tessel::ui::PressKey(front, VK_DOWN);
        break;
    case KEY_LEFT:
        tessel::ui::PressKey(front, VK_LEFT);
        break;
    case KEY_RIGHT:
        tessel::ui::PressKey(front, VK_RIGHT);
        break;
    case KEY_HOME:
        tessel::ui::PressKey(front, VK_HOME);
        break;
    case KEY_END:
        tessel::ui::PressKey(front, VK_END);
        break;
    case KEY_PPAGE:
        tessel::ui::PressKey(front, VK_PRIOR);
        break;
    case KEY_NPAGE:
        tessel::ui::PressKey(front, VK_NEXT);
        break;
    case KEY_DC:
        tessel::ui::PressKey(front, VK_DELETE);
        break;
    case KEY_BACKSPACE:
    case 127:
    case 8:
        tessel::ui::PressKey(front, VK_BACK);
        break;
    case KEY_F(4):
        tessel::ui::PressKey(front, VK_F4);
        break;
    case '\r':
    case '\n':
    case KEY_ENTER:
        tessel::ui::PressKey(front, VK_RETURN);
        break;
    case 27:
        tessel::ui::PressKey(front, VK_ESCAPE);
        break;
    case ' ':
        // Space opens a closed list and takes the choice in an open one; elsewhere it
        // is the key Windows gives it (a button press, a typed blank).
        if (combo && focused->dropped)
            tessel::ui::PressKey(front, VK_RETURN);
        else if (combo && !HasEditField(*focused))
            tessel::ui::PressKey(front, VK_F4);
        else
            tessel::ui::PressKey(front, VK_SPACE);
        break;
    default:
        if (key >= 0x20 && key < 0x100 && key != 0x7F) {
            char text[2] = {char(key), 0};
            tessel::ui::TypeText(front, text);
        }
        break;
    }
    tessel::ui::PumpMessages();
    return true;
}

} // namespace tessel::host
