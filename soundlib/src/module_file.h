// Reading a module file for BASS_MusicLoad.
#pragma once

#include <cstdint>
#include <vector>

namespace tessel::sound {

// Modules larger than this are refused rather than read into memory.
constexpr uint64_t kMaxModuleBytes = 1ull << 30;

// The file's bytes from offset on, or length bytes of them (length 0: to the end).
// False for anything but a regular file (a FIFO or a device never blocks the caller),
// a file that cannot be read, nothing to read, more than the size limit, or a header
// that libopenmpt's probe refuses (then the rest is never read).
bool ReadModuleFile(const char *path, uint32_t offset, uint32_t length, std::vector<unsigned char> &data);

} // namespace tessel::sound
