#include "mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessel::sound {

Gains GainsFor(int volume, int pan)
{
    float level = float(volume) / 100.0f;
    return Gains{level * (pan > 0 ? float(100 - pan) / 100.0f : 1.0f),
                 level * (pan < 0 ? float(100 + pan) / 100.0f : 1.0f)};
}

void MixInto(float *mix, const float *music, uint32_t frames, bool mono, Gains gains)
{
    if (mono) {
        for (uint32_t i = 0; i < frames; ++i) {
            mix[2 * i] += music[i] * gains.left;
            mix[2 * i + 1] += music[i] * gains.right;
        }
    } else {
        for (uint32_t i = 0; i < frames; ++i) {
            mix[2 * i] += music[2 * i] * gains.left;
            mix[2 * i + 1] += music[2 * i + 1] * gains.right;
        }
    }
}

void ConvertMix(const float *mix, uint32_t frames, const OutputFormat &format, uint8_t *out)
{
    uint32_t samples = frames * format.channels;
    if (format.bits == 8) {
        for (uint32_t i = 0; i < samples; ++i)
            out[i] = uint8_t(std::lrint(std::clamp(mix[i] * 128.0f, -128.0f, 127.0f)) + 128);
        return;
    }
    // Native order: PortAudio wants it, and the WAV writer runs on little-endian hosts.
    for (uint32_t i = 0; i < samples; ++i) {
        int16_t sample = int16_t(std::lrint(std::clamp(mix[i] * 32768.0f, -32768.0f, 32767.0f)));
        std::memcpy(out + 2 * i, &sample, 2);
    }
}

} // namespace tessel::sound
