#include "tests/support/wav_file.h"

#include <tessel/wav_header.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace testkit {

double Wav::Rms(uint32_t channel, size_t from, size_t to) const
{
    to = std::min(to, Frames());
    if (from >= to)
        return 0.0;
    double sum = 0.0;
    for (size_t frame = from; frame < to; ++frame) {
        double v = samples[frame * channels + channel];
        sum += v * v;
    }
    return std::sqrt(sum / double(to - from));
}

Wav ReadWav(const std::string &path)
{
    Wav wav;
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    tessel::wav::Header header;
    if (bytes.size() >= sizeof header)
        std::memcpy(&header, bytes.data(), sizeof header);
    if (bytes.size() < sizeof header || !header.Canonical()) {
        ADD_FAILURE() << "expected a canonical WAV file at " << path << ", got " << bytes.size() << " bytes";
        return wav;
    }
    EXPECT_EQ(tessel::wav::Header::kPcm, header.formatTag) << "format tag of " << path;
    wav.channels = header.channels;
    wav.rate = header.sampleRate;
    wav.blockAlign = header.blockAlign;
    wav.bits = header.bitsPerSample;
    wav.declaredBytes = header.dataBytes;
    EXPECT_EQ(bytes.size() - 8, header.riffBytes) << "RIFF size of " << path;
    EXPECT_EQ(wav.rate * wav.blockAlign, header.bytesPerSecond) << "bytes per second of " << path;
    wav.data.assign(bytes.begin() + sizeof header, bytes.end());
    if (wav.bits == 16) {
        for (size_t i = 0; i + 1 < wav.data.size(); i += 2)
            wav.samples.push_back(float(int16_t(wav.data[i] | wav.data[i + 1] << 8)) / 32768.0f);
    } else {
        for (uint8_t sample : wav.data)
            wav.samples.push_back(float(int(sample) - 128) / 128.0f);
    }
    return wav;
}

std::vector<uint8_t> ReadFileBytes(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

} // namespace testkit
