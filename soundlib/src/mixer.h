// Our own mixing: each music's frames enter the stereo mix at the music's volume and
// pan, and the mix leaves in the output's sample format.
#pragma once

#include "output.h"

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

// The stereo mix as 16-bit signed (native order) or 8-bit unsigned samples, clipped.
void ConvertMix(const float *mix, uint32_t frames, const OutputFormat &format, void *out);

} // namespace tessel::sound
