// FLAC for tessel -o NAME.flac: the sound library renders a WAV as always, and this
// turns it into FLAC, sample for sample (lossless), before the transaction puts it in
// place.
#pragma once

#include <string>

namespace tessel::host {

// Encodes the whole frames of the WAV in wavFd (the library's canonical 44-byte
// header, 8- or 16-bit PCM, read from offset 0) as FLAC written to flacFd from its
// position on. A target that cannot seek (a pipe, a FIFO) gets a stream whose header
// leaves the length unknown. False with a reason in error.
bool WavToFlac(int wavFd, int flacFd, std::string &error);

} // namespace tessel::host
