// Standard descriptors the shell closed (tessel >&-): left closed, the next file tessel
// opens would take the number, and what is meant for the stream would go into it.
#pragma once

namespace tessel::host {

// Fills closed descriptors 0-2 with /dev/null opened the other way round, so that any
// write to them fails (and any read), and remembers them. Called first thing.
void GuardStandardStreams();
// The descriptor (0-2) was closed when tessel started.
bool StandardStreamClosed(int fd);

} // namespace tessel::host
