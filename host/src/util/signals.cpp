#include "util/signals.h"

#include <soundlib/include/tessel_bass.h>

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <initializer_list>

namespace tessel::host {
namespace {

// Read by every thread and written in a handler: only a lock-free atomic is safe there.
std::atomic<int> pending{0};
static_assert(std::atomic<int>::is_always_lock_free);

pthread_t mainThread;
pid_t mainThreadId = 0;

void Note(int signal)
{
    int none = 0;
    pending.compare_exchange_strong(none, signal);
    // Whatever the sound library waits on (a pull, a write to a reader that never
    // reads) ends now; it only stores a flag and writes to a pipe.
    TesselBass_Cancel();
    // The main thread may sit in a blocking call (a write to a full pipe) that only a
    // signal delivered to it interrupts; the kernel may have picked another thread.
    if (gettid() != mainThreadId)
        pthread_kill(mainThread, signal);
}

} // namespace

void InstallSignalHandlers()
{
    mainThread = pthread_self();
    mainThreadId = gettid();
    struct sigaction action {};
    action.sa_handler = Note;
    sigemptyset(&action.sa_mask);
    // Every signal whose default ends the process without a fault of its own: each
    // must leave the terminal as it found it. No SA_RESTART: a blocking read or write
    // returns, and the loop looks at the flag.
    for (int signal :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGIO, SIGPWR}) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
    // A closed terminal or pipe, or the file-size limit, makes writes fail instead of
    // killing us mid-redraw or mid-WAV; the output code reports the failure.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

int PendingSignal()
{
    return pending.load();
}

void DieBySignal(int signal)
{
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
    std::_Exit(128 + signal);
}

} // namespace tessel::host
