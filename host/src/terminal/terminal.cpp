#include "terminal/terminal.h"

#include "terminal/dialog_layer.h"
#include "util/signals.h"
#include "util/text.h"

#include <windows.h>

#include <curses.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <thread>
#include <vector>

namespace tessel::host {
namespace {

constexpr int kEscapeDelayMs = 25;
// Button ids of the box types the platform's header does not name.
constexpr int kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5;

bool utf8Terminal = false;
std::thread::id uiThread;

struct Button {
    const char *label;
    int id;
};

std::vector<Button> ButtonsFor(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{"OK", IDOK}, {"Cancel", IDCANCEL}};
    case 2:
        return {{"Abort", kIdAbort}, {"Retry", kIdRetry}, {"Ignore", kIdIgnore}};
    case 3:
        return {{"Yes", IDYES}, {"No", IDNO}, {"Cancel", IDCANCEL}};
    case MB_YESNO:
        return {{"Yes", IDYES}, {"No", IDNO}};
    case 5:
        return {{"Retry", kIdRetry}, {"Cancel", IDCANCEL}};
    default:
        return {{"OK", IDOK}};
    }
}

const char *IconMark(UINT type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
        return "(x) ";
    case MB_ICONQUESTION:
        return "(?) ";
    case MB_ICONEXCLAMATION:
        return "(!) ";
    case MB_ICONASTERISK:
        return "(i) ";
    default:
        return "";
    }
}

} // namespace

std::vector<std::string> WrapLines(const std::string &text, size_t width)
{
    std::vector<std::string> lines;
    for (std::string line : SplitLines(text)) {
        while (line.size() > width) {
            size_t cut = line.rfind(' ', width);
            if (cut == std::string::npos || cut == 0)
                cut = width;
            lines.push_back(line.substr(0, cut));
            line = line.substr(cut == width ? cut : cut + 1);
        }
        lines.push_back(line);
    }
    if (lines.empty())
        lines.push_back("");
    return lines;
}

bool KnownTerminalType(const char *name); // terminal_type.cpp

void PutText(int y, int x, const std::string &text, int width, TextKind kind)
{
    if (width <= 0 || y < 0 || y >= LINES || x >= COLS)
        return;
    width = std::min(width, COLS - x);
    std::string shown = ForLocale(ForPeople(text, kind));
    // Cut at width columns, never inside a character.
    size_t end = 0;
    for (int columns = 0; end < shown.size();) {
        size_t length = 1;
        int cells = 1;
        if (utf8Terminal) {
            wchar_t wide = 0;
            std::mbstate_t state{};
            size_t got = std::mbrtowc(&wide, shown.data() + end, shown.size() - end, &state);
            if (got != size_t(-1) && got != size_t(-2) && got > 0) {
                length = got;
                cells = std::max(0, wcwidth(wide));
            }
        }
        if (columns + cells > width)
            break;
        columns += cells;
        end += length;
    }
    shown.resize(end);
    mvaddstr(y, x, shown.c_str());
}

void DrawFrame(int top, int left, int height, int width, const std::string &title)
{
    if (height < 2 || width < 2)
        return;
    for (int y = top; y < top + height; ++y) {
        if (y < 0 || y >= LINES)
            continue;
        move(y, std::max(left, 0));
        for (int x = left; x < left + width && x < COLS; ++x) {
            if (x < 0)
                continue;
            chtype c = ' ';
            bool edgeY = y == top || y == top + height - 1;
            bool edgeX = x == left || x == left + width - 1;
            if (edgeY && edgeX)
                c = y == top ? (x == left ? ACS_ULCORNER : ACS_URCORNER) : (x == left ? ACS_LLCORNER : ACS_LRCORNER);
            else if (edgeY)
                c = ACS_HLINE;
            else if (edgeX)
                c = ACS_VLINE;
            mvaddch(y, x, c);
        }
    }
    if (!title.empty())
        PutText(top, left + 2, " " + title + " ", width - 4);
}

std::unique_ptr<Terminal> Terminal::Open()
{
    const char *term = std::getenv("TERM");
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO) || !term || !*term || std::strcmp(term, "dumb") == 0)
        return nullptr;
    // initscr would end the program on a terminal type ncurses has no description of:
    // such a terminal gets the plain lines.
    if (!KnownTerminalType(term))
        return nullptr;
    set_escdelay(kEscapeDelayMs);
    SCREEN *screen = newterm(term, stdout, stdin);
    if (!screen)
        return nullptr;
    return std::unique_ptr<Terminal>(new Terminal(screen));
}

Terminal::Terminal(SCREEN *screen) : screen_(screen)
{
    utf8Terminal = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    uiThread = std::this_thread::get_id();
    cbreak(); // Ctrl-C still interrupts: the loops see the signal and clean up
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    curs_set(0);
    if (has_colors()) {
        start_color();
        use_default_colors();
    }
    dialogs_ = new DialogLayer;
    previous_ = tessel::ui::InstallBackend(this);
}

Terminal::~Terminal()
{
    tessel::ui::InstallBackend(previous_);
    delete dialogs_;
    curs_set(1);
    endwin();
    delscreen(screen_);
    std::fflush(stdout);
}

void Terminal::Redraw()
{
    erase();
    if (background_)
        background_();
    dialogs_->Draw();
    if (box_.up)
        DrawBox();
    refresh();
}

int Terminal::ReadKey(int timeoutMs)
{
    if (PendingSignal())
        return ERR;
    timeout(timeoutMs);
    return getch();
}

bool Terminal::DialogKey(int key)
{
    return dialogs_->Key(key);
}

bool Terminal::DialogOpen() const
{
    return dialogs_->Open();
}

void Terminal::DialogShown(HWND dialog)
{
    dialogs_->Shown(dialog);
}

void Terminal::DialogClosed(HWND dialog)
{
    dialogs_->Closed(dialog);
}

void Terminal::Notice(const char *text)
{
    MessageBox(nullptr, text, "Tessel", MB_OK | MB_ICONWARNING);
}

void Terminal::DrawBox()
{
    std::vector<Button> buttons = ButtonsFor(box_.type);
    int buttonsWidth = 0;
    for (const Button &button : buttons)
        buttonsWidth += int(std::strlen(button.label)) + 6;
    int maxText = std::max(10, COLS - 8);
    std::vector<std::string> lines = WrapLines(IconMark(box_.type) + box_.text, size_t(maxText));
    int width = std::max<int>(int(box_.caption.size()) + 6, buttonsWidth + 2);
    for (const std::string &line : lines)
        width = std::max(width, int(line.size()) + 4);
    width = std::min(width + 2, COLS);
    int height = int(lines.size()) + 6;
    int top = std::max(0, (LINES - height) / 2);
    int left = std::max(0, (COLS - width) / 2);
    DrawFrame(top, left, height, width, box_.caption);
    for (size_t i = 0; i < lines.size(); ++i)
        PutText(top + 2 + int(i), left + 3, lines[i], width - 5);
    int x = left + (width - buttonsWidth) / 2 + 1;
    for (size_t i = 0; i < buttons.size(); ++i) {
        std::string label = std::string("[ ") + buttons[i].label + " ]";
        if (int(i) == box_.focus)
            attron(A_REVERSE);
        PutText(top + height - 2, x, label, int(label.size()));
        attroff(A_REVERSE);
        x += int(label.size()) + 2;
    }
}

int Terminal::MessageBox(HWND, const char *text, const char *caption, UINT type)
{
    std::vector<Button> buttons = ButtonsFor(type);
    if (std::this_thread::get_id() != uiThread) {
        // Only the terminal's own thread may draw; elsewhere the box is a line.
        std::fprintf(stderr, "%s: %s\n", caption, text);
        return buttons.front().id;
    }
    if (collector_ && buttons.size() == 1) {
        collector_(caption, text);
        return buttons.front().id;
    }
    Box saved = box_; // a box raised while another waits covers it until it closes
    box_.up = true;
    box_.caption = caption;
    box_.text = text;
    box_.type = type;
    box_.focus = 0;
    int result = 0;
    while (result == 0) {
        if (PendingSignal()) {
            result = buttons.back().id;
            break;
        }
        // The dialogs and the main window keep running under a modal box, as on Windows.
        tessel::ui::PumpMessages();
        Redraw();
        int key = ReadKey(100);
        int count = int(buttons.size());
        switch (key) {
        case ERR:
        case KEY_RESIZE:
            break;
        case KEY_LEFT:
        case KEY_BTAB:
            box_.focus = (box_.focus + count - 1) % count;
            break;
        case KEY_RIGHT:
        case '\t':
            box_.focus = (box_.focus + 1) % count;
            break;
        case 27: // Escape: Cancel where there is one
            for (const Button &button : buttons)
                if (button.id == IDCANCEL || count == 1)
                    result = button.id;
            break;
        case '\r':
        case '\n':
        case KEY_ENTER:
        case ' ':
            result = buttons[size_t(box_.focus)].id;
            break;
        default:
            // A box with one button goes away with any key.
            if (count == 1)
                result = buttons.front().id;
            break;
        }
    }
    box_ = saved;
    Redraw();
    return result;
}

} // namespace tessel::host
