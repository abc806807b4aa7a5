// The trails of what is heard: what the render thread put into which output frame
// (the song's position, the peaks), kept until the output has played it, so that
// what is reported is what is heard now, latency frames behind what is written.
#pragma once

#include "frame_ring.h"
#include "mixer.h"

#include <cstddef>
#include <cstdint>

namespace tessel::sound {

// Entries each trail should keep for an output that holds latency frames unheard,
// written chunk frames at a time, when what is heard is looked at over window frames.
size_t TrailLength(uint64_t latency, uint64_t window, uint32_t chunk);

// Which position was rendered into which output frame.
class PositionTrail {
public:
    struct Heard {
        uint32_t position; // position word
        uint32_t ms;       // time in the song
    };

    void Clear() { marks_.Clear(); }
    void Reserve(size_t marks) { marks_.Reserve(marks); }
    // Forgets the marks from this output frame on (frames taken back unheard).
    void Truncate(uint64_t frame) { marks_.Truncate(frame); }
    // Position and song time from this output frame on (frames never go backwards),
    // the song going on at msPerFrame from there.
    void Mark(uint64_t frame, uint32_t position, double ms, double msPerFrame);
    // Position at the output frame heard; the oldest one known if it is older still.
    // The song time goes on from the mark, but never past the next mark (or latestMs
    // after the newest): rows are marked, not every frame. Requires a mark.
    Heard At(uint64_t frame, uint32_t latestMs) const;
    bool Empty() const { return marks_.Count() == 0; }

private:
    struct Entry {
        uint64_t frame;
        uint32_t position;
        double ms;
        double msPerFrame;
    };
    FrameRing<Entry> marks_;
};

// The peaks of the chunks written, by output frame.
class PeakTrail {
public:
    void Reserve(size_t chunks) { chunks_.Reserve(chunks); }
    void Mark(uint64_t frame, uint32_t frames, Peak peak) { chunks_.Push(Entry{frame, frames, peak}); }
    // Drops what was written from frame on (taken back before it was heard).
    void Truncate(uint64_t frame) { chunks_.Truncate(frame); }
    // The peaks of the window frames up to frame heard.
    Peak Over(uint64_t heard, uint64_t window) const;

private:
    struct Entry {
        uint64_t frame;
        uint32_t frames;
        Peak peak;
    };
    FrameRing<Entry> chunks_;
};

} // namespace tessel::sound
