// The last entries of something the render thread marks by output frame (positions,
// peaks), newest last, looked up from the newest back by the frame heard. It holds as
// many as it is asked to keep: the output's latency decides how far back is heard.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessel::sound {

// Entry has a uint64_t frame: the output frame it holds from. Frames never go backwards
// except by Truncate.
template <typename Entry> class FrameRing {
public:
    void Clear() { count_ = 0; }
    size_t Count() const { return count_; }
    // The i-th newest entry (0: the newest); i < Count().
    const Entry &Newest(size_t i) const { return entries_[(next_ + entries_.size() - 1 - i) % entries_.size()]; }
    // Room for at least capacity entries from now on; the kept ones stay.
    void Reserve(size_t capacity)
    {
        if (capacity <= entries_.size())
            return;
        std::vector<Entry> grown(capacity);
        for (size_t i = 0; i < count_; ++i)
            grown[count_ - 1 - i] = Newest(i);
        entries_.swap(grown);
        next_ = count_ % entries_.size();
    }
    // Adds an entry, overwriting the oldest when full.
    void Push(const Entry &entry)
    {
        if (entries_.empty())
            Reserve(kFirstCapacity);
        entries_[next_] = entry;
        next_ = (next_ + 1) % entries_.size();
        count_ = std::min(count_ + 1, entries_.size());
    }
    // Drops the entries from this output frame on (frames taken back unheard).
    void Truncate(uint64_t frame)
    {
        while (count_ > 0 && Newest(0).frame >= frame) {
            next_ = (next_ + entries_.size() - 1) % entries_.size();
            --count_;
        }
    }

private:
    static constexpr size_t kFirstCapacity = 64;

    std::vector<Entry> entries_;
    size_t next_ = 0;
    size_t count_ = 0;
};

} // namespace tessel::sound
