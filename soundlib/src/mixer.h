// Our own mixing: each music's frames enter the stereo mix at the music's volume and
// pan, and the mix leaves in the output's sample format.
#pragma once

#include "output.h"

#include <cstddef>
#include <cstdint>

namespace tessel::sound {

struct Gains {
    float left;
    float right;
};

// Volume 0..100 is linear; pan -100..100 is a balance: the far side fades out
// linearly, the near side keeps the full volume. Pan 0 leaves both at the volume.
Gains GainsFor(int volume, int pan);

// Adds frames of a music (one channel or interleaved stereo) into the stereo mix.
void MixInto(float *mix, const float *music, uint32_t frames, bool mono, Gains gains);

// 16-bit samples at a volume 0..100, in place: one centred music goes out as
// libopenmpt's own 16-bit samples, scaled, without a float mix.
void ScaleSamples(int16_t *samples, size_t count, int volume);

// The stereo mix as 16-bit signed (native order) or 8-bit unsigned samples, clipped.
void ConvertMix(const float *mix, uint32_t frames, const OutputFormat &format, void *out);

// Peak levels of a stretch of output, 0..1.
struct Peak {
    float left = 0;
    float right = 0;
};

// The peaks of output samples (16-bit signed or 8-bit unsigned, stereo).
Peak PeakOf(const void *samples, uint32_t frames, const OutputFormat &format);

} // namespace tessel::sound
