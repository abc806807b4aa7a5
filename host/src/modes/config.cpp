// tessel --config: the configuration dialog alone, until OK, Cancel or Escape.
#include "modes/modes.h"

#include "util/signals.h"

#include <tessel/settings_store.h>

#include <curses.h>

namespace tessel::host {

int RunConfig(PluginHost &host, Terminal &terminal, std::string &failure)
{
    terminal.SetBackground([] {
        mvaddstr(0, 1, "tessel: configuration");
        mvaddstr(1, 1, "Tab moves, space ticks or opens, Enter OK, Escape Cancel");
    });
    host.Module().Config(host.MainWindow());
    host.Pump();
    // Opening the dialog reads the settings (a read may be refused too); only OK
    // writes them.
    const unsigned refusedBefore = tessel::platform::RefusedStoreWrites();
    while (terminal.DialogOpen() && !PendingSignal()) {
        terminal.Redraw();
        int key = terminal.ReadKey(100);
        if (key != ERR)
            terminal.DialogKey(key);
        host.Pump();
    }
    terminal.SetBackground(nullptr);
    std::string why;
    if (tessel::platform::RefusedStoreWrites(&why) == refusedBefore)
        return 0;
    failure = "the settings were not saved: " + why;
    return 1;
}

} // namespace tessel::host
