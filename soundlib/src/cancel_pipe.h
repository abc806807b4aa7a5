// TesselBass_Cancel's way in. A signal handler may only store a flag and write to a
// pipe, so Raise does just that; a watcher thread of the live output waits on the pipe
// and carries the cancel out under the session's lock. The pipe is opened once and kept
// for the process's life: a handler racing with BASS_Free never writes to a descriptor
// that has been closed and reused.
#pragma once

namespace tessel::sound::cancel_pipe {

// Opens the pipe if need be and lets Raise count from now on, with no cancel pending.
// False when no pipe can be had (the output then cannot be cancelled).
bool Arm();
// Raise counts no more (the output is going away).
void Disarm();
// Async-signal-safe: the first call after Arm marks a cancel and wakes Wait.
void Raise() noexcept;
// Whether a cancel has been raised since Arm.
bool Raised();
// Blocks until Raise or Wake writes to the pipe. A byte left by a raise or a wake of an
// earlier output wakes it too: the caller looks at its own flags after every return.
void Wait();
// Wakes Wait, for the watcher to see that its output is going away.
void Wake();

} // namespace tessel::sound::cancel_pipe
