// Apart from the rest: <term.h> defines macros (lines, columns, buttons, ...) that
// would clash with ordinary names elsewhere.
#include <curses.h>
#include <term.h>
#include <unistd.h>

namespace tessel::host {

// ncurses has a description of the terminal type. Asked with setupterm, which frees
// what it made when it fails; newterm would keep a little of it for good.
bool KnownTerminalType(const char *name)
{
    int error = 0;
    if (setupterm(name, STDOUT_FILENO, &error) != OK)
        return false;
    del_curterm(cur_term);
    return true;
}

} // namespace tessel::host
