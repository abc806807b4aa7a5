// Our own mixing: each music's frames enter the stereo mix at the music's volume and
// pan, and the mix leaves in the output's sample format.
#pragma once

#include "output.h"

#include <array>
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

// Peak levels of a stretch of output, 0..1.
struct Peak {
    float left = 0;
    float right = 0;
};

// The peaks of output samples (16-bit signed or 8-bit unsigned, stereo).
Peak PeakOf(const void *samples, uint32_t frames, const OutputFormat &format);

// The peaks of the last few hundred chunks written, by output frame, so that the level
// reported is that of what is heard, latency frames behind what is written.
class PeakTrail {
public:
    void Mark(uint64_t frame, uint32_t frames, Peak peak);
    // Drops what was written from frame on (taken back before it was heard).
    void Truncate(uint64_t frame);
    // The peaks of the window frames up to frame heard.
    Peak Over(uint64_t heard, uint64_t window) const;

private:
    struct Entry {
        uint64_t frame;
        uint32_t frames;
        Peak peak;
    };
    std::array<Entry, 512> entries_{};
    size_t next_ = 0;
    size_t count_ = 0;
};

} // namespace tessel::sound
