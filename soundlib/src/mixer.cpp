#include "mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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

void ScaleSamples(int16_t *samples, size_t count, int volume)
{
    // Q15 gain, rounded; written so that the compiler vectorises it.
    const int32_t gain = volume * 32768 / 100;
    for (size_t i = 0; i < count; ++i)
        samples[i] = int16_t((int32_t(samples[i]) * gain + (1 << 14)) >> 15);
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

Peak PeakOf(const void *samples, uint32_t frames, const OutputFormat &format)
{
    int32_t left = 0;
    int32_t right = 0;
    float scale;
    if (format.bits == 8) {
        const uint8_t *bytes = static_cast<const uint8_t *>(samples);
        for (uint32_t i = 0; i < frames; ++i) {
            left = std::max(left, std::abs(int32_t(bytes[2 * i]) - 128));
            right = std::max(right, std::abs(int32_t(bytes[2 * i + 1]) - 128));
        }
        scale = 1.0f / 128.0f;
    } else {
        const int16_t *words = static_cast<const int16_t *>(samples);
        for (uint32_t i = 0; i < frames; ++i) {
            left = std::max(left, std::abs(int32_t(words[2 * i])));
            right = std::max(right, std::abs(int32_t(words[2 * i + 1])));
        }
        scale = 1.0f / 32768.0f;
    }
    return Peak{std::min(1.0f, float(left) * scale), std::min(1.0f, float(right) * scale)};
}

} // namespace tessel::sound
