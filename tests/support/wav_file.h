// The WAV files the sound library writes, read back for the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

struct Wav {
    uint32_t rate = 0;
    uint32_t channels = 0;
    uint32_t bits = 0;
    uint32_t blockAlign = 0;
    uint32_t declaredBytes = 0; // the data chunk's size field
    std::vector<uint8_t> data;  // the data chunk as found in the file
    std::vector<float> samples; // interleaved, scaled to -1..1

    size_t Frames() const { return channels ? samples.size() / channels : 0; }
    double Seconds() const { return rate ? double(Frames()) / rate : 0.0; }
    // Root mean square of one channel over frames [from, to).
    double Rms(uint32_t channel, size_t from = 0, size_t to = SIZE_MAX) const;
};

// Reads a canonical PCM WAV file whose RIFF size is the file's; fails the test (and
// returns an empty Wav) otherwise.
Wav ReadWav(const std::string &path);

std::vector<uint8_t> ReadFileBytes(const std::string &path);

} // namespace testkit
