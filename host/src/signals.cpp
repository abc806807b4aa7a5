#include "signals.h"

#include <csignal>
#include <cstdlib>
#include <initializer_list>

#include <unistd.h>

namespace tessel::host {
namespace {

volatile std::sig_atomic_t pending = 0;

void Note(int signal)
{
    if (pending == 0)
        pending = signal;
}

} // namespace

void InstallSignalHandlers()
{
    struct sigaction action {};
    action.sa_handler = Note;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking read returns, and the loop looks at the flag.
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A closed terminal or pipe makes writes fail instead of killing us mid-redraw.
    std::signal(SIGPIPE, SIG_IGN);
}

int PendingSignal()
{
    return pending;
}

void DieBySignal(int signal)
{
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

} // namespace tessel::host
