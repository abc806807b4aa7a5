// Ctrl-C, a closed terminal and kill: noted by the handler, acted on by the loops,
// which stop playback and restore the terminal before the process dies of the signal.
#pragma once

namespace tessel::host {

void InstallSignalHandlers();
// The signal that arrived (SIGINT, SIGTERM, SIGHUP), or 0.
int PendingSignal();
// Ends the process by the signal, as the shell expects of an interrupted program.
[[noreturn]] void DieBySignal(int signal);

} // namespace tessel::host
