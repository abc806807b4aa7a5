// Signals that end a program by default: noted by the handler, which also cancels what
// the sound library waits on, and acted on by the loops, which stop playback and restore
// the terminal before the process dies of the signal.
#pragma once

namespace tessel::host {

// Catches the deadly signals that are not ignored already: one inherited as ignored
// (nohup, a shell's background job) stays ignored. Ignores SIGPIPE and SIGXFSZ, so a
// closed pipe or the file-size limit makes a write fail instead of killing tessel.
// Called again in a worker process after fork, for the thread that runs there.
void InstallSignalHandlers();
// The first signal that arrived, or 0.
int PendingSignal();
// Ends the process by the signal, as the shell expects of an interrupted program.
[[noreturn]] void DieBySignal(int signal);

} // namespace tessel::host
