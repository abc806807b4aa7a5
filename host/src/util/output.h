// Standard output, checked: a failed write (a full disk, a closed pipe, a signal while
// blocked) is remembered, so that tessel can end with status 1 and say so, or by the
// signal, instead of reporting success.
#pragma once

namespace tessel::host {

// printf to stdout; false once any write has failed.
bool Print(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Flushes stdout; false once any write has failed.
bool Flush();
// The output has failed (a write, or a flush).
bool OutputFailed();
// Flushes, and when the output failed for a reason other than a signal, says so on
// stderr. Gives status, or 1 when the output failed.
int FinishOutput(int status);

} // namespace tessel::host
