// The last N entries of something the render thread marks by output frame (positions,
// peaks), newest last, looked up from the newest back by the frame heard.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace tessel::sound {

// Entry has a uint64_t frame: the output frame it holds from. Frames never go backwards
// except by Truncate.
template <typename Entry, size_t N> class FrameRing {
public:
    void Clear() { count_ = 0; }
    size_t Count() const { return count_; }
    // The i-th newest entry (0: the newest); i < Count().
    const Entry &Newest(size_t i) const { return entries_[(next_ + N - 1 - i) % N]; }
    // Adds an entry, overwriting the oldest when full.
    void Push(const Entry &entry)
    {
        entries_[next_] = entry;
        next_ = (next_ + 1) % N;
        count_ = std::min(count_ + 1, N);
    }
    // Drops the entries from this output frame on (frames taken back unheard).
    void Truncate(uint64_t frame)
    {
        while (count_ > 0 && Newest(0).frame >= frame) {
            next_ = (next_ + N - 1) % N;
            --count_;
        }
    }

private:
    std::array<Entry, N> entries_{};
    size_t next_ = 0;
    size_t count_ = 0;
};

} // namespace tessel::sound
