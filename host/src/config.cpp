// tessel --config: the configuration dialog alone, until OK, Cancel or Escape.
#include "modes.h"

#include "signals.h"

#include <curses.h>

namespace tessel::host {

int RunConfig(PluginHost &host, Terminal &terminal)
{
    terminal.SetBackground([] {
        mvaddstr(0, 1, "tessel: configuration (Tab moves, space ticks or opens, Enter OK, Escape Cancel)");
    });
    host.Module().Config(host.MainWindow());
    host.Pump();
    while (terminal.DialogOpen() && !PendingSignal()) {
        terminal.Redraw();
        int key = terminal.ReadKey(100);
        if (key != ERR)
            terminal.DialogKey(key);
        host.Pump();
    }
    terminal.SetBackground(nullptr);
    return 0;
}

} // namespace tessel::host
