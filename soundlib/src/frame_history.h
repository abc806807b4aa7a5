// The last frames written, kept so that what the output had not played when it was
// paused can be written again on resume. It grows to about twice the output's latency.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessel::sound {

class FrameHistory {
public:
    explicit FrameHistory(uint32_t frameBytes) : frameBytes_(frameBytes) {}

    // Keeps frames, making room for at least wanted frames of history first.
    void Keep(const uint8_t *data, uint32_t frames, uint32_t wanted)
    {
        if (wanted > capacity_)
            Grow(2 * wanted);
        if (frames > capacity_) {
            data += size_t(frames - capacity_) * frameBytes_;
            frames = capacity_;
        }
        uint32_t first = std::min(frames, capacity_ - end_);
        std::copy_n(data, size_t(first) * frameBytes_, ring_.begin() + size_t(end_) * frameBytes_);
        std::copy_n(data + size_t(first) * frameBytes_, size_t(frames - first) * frameBytes_, ring_.begin());
        end_ = (end_ + frames) % capacity_;
        size_ = std::min(capacity_, size_ + frames);
    }

    // The last frames kept (no more than there are), oldest first.
    std::vector<uint8_t> Tail(uint32_t frames) const
    {
        frames = std::min(frames, size_);
        std::vector<uint8_t> out(size_t(frames) * frameBytes_);
        uint32_t start = (end_ + capacity_ - frames) % std::max<uint32_t>(capacity_, 1);
        for (uint32_t i = 0; i < frames; ++i) {
            size_t from = size_t((start + i) % capacity_) * frameBytes_;
            std::copy_n(ring_.begin() + from, frameBytes_, out.begin() + size_t(i) * frameBytes_);
        }
        return out;
    }

private:
    void Grow(uint32_t capacity)
    {
        std::vector<uint8_t> kept = Tail(size_);
        ring_.assign(size_t(capacity) * frameBytes_, 0);
        std::copy(kept.begin(), kept.end(), ring_.begin());
        capacity_ = capacity;
        end_ = size_ % capacity_;
    }

    uint32_t frameBytes_;
    std::vector<uint8_t> ring_;
    uint32_t capacity_ = 0;
    uint32_t end_ = 0;  // where the next frame goes
    uint32_t size_ = 0; // frames kept
};

} // namespace tessel::sound
