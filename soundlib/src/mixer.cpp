#include "mixer.h"

#include <algorithm>
#include <cmath>

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

void ConvertMix(const float *mix, uint32_t frames, const OutputFormat &format, void *out)
{
    // Written so that the compiler vectorises it: clamp, then round half away from zero.
    uint32_t samples = frames * format.channels;
    if (format.bits == 8) {
        uint8_t *bytes = static_cast<uint8_t *>(out);
        for (uint32_t i = 0; i < samples; ++i) {
            float v = std::min(std::max(mix[i] * 128.0f, -128.0f), 127.0f);
            bytes[i] = uint8_t(int32_t(v + std::copysign(0.5f, v)) + 128);
        }
        return;
    }
    int16_t *words = static_cast<int16_t *>(out);
    for (uint32_t i = 0; i < samples; ++i) {
        float v = std::min(std::max(mix[i] * 32768.0f, -32768.0f), 32767.0f);
        words[i] = int16_t(int32_t(v + std::copysign(0.5f, v)));
    }
}

} // namespace tessel::sound
