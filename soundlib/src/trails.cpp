#include "trails.h"

#include <algorithm>

namespace tessel::sound {

size_t TrailLength(uint64_t latency, uint64_t window, uint32_t chunk)
{
    // A position trail may take two marks a chunk (a row, and a move); a few chunks
    // spare for a latency that grows between two looks.
    return size_t(2 * ((latency + window) / chunk + 4));
}

void PositionTrail::Mark(uint64_t frame, uint32_t position, double ms, double msPerFrame)
{
    if (marks_.Count() > 0 && marks_.Newest(0).position == position && marks_.Newest(0).msPerFrame == msPerFrame)
        return;
    marks_.Push(Entry{frame, position, ms, msPerFrame});
}

PositionTrail::Heard PositionTrail::At(uint64_t frame, uint32_t latestMs) const
{
    size_t i = 0;
    while (i + 1 < marks_.Count() && marks_.Newest(i).frame > frame)
        ++i;
    const Entry &entry = marks_.Newest(i);
    if (entry.frame > frame)
        return Heard{entry.position, uint32_t(entry.ms)};
    double limit = std::max(i > 0 ? marks_.Newest(i - 1).ms : double(latestMs), entry.ms);
    double ms = entry.ms + double(frame - entry.frame) * entry.msPerFrame;
    return Heard{entry.position, uint32_t(std::min(ms, limit))};
}

Peak PeakTrail::Over(uint64_t heard, uint64_t window) const
{
    uint64_t from = heard > window ? heard - window : 0;
    Peak peak;
    for (size_t i = 0; i < chunks_.Count(); ++i) {
        const Entry &entry = chunks_.Newest(i);
        if (entry.frame + entry.frames <= from)
            break;
        if (entry.frame >= heard)
            continue;
        peak.left = std::max(peak.left, entry.peak.left);
        peak.right = std::max(peak.right, entry.peak.right);
    }
    return peak;
}

} // namespace tessel::sound
