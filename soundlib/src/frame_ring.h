// What the render thread keeps of the output frames it has written, newest last, until
// the output has played them: the marks of what was rendered where (positions, peaks)
// and the frames themselves (written again after a pause). Its room is set when the
// output opens, from the latency the output can reach, so that keeping never allocates
// while rendering; only a latency beyond that makes it grow.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessel::sound {

template <typename T>
class FrameRing {
public:
    size_t Count() const { return count_; }
    size_t Capacity() const { return items_.size(); }
    void Clear() { count_ = 0; }
    // The i-th newest item (0: the newest); i < Count().
    const T &Newest(size_t i) const { return items_[(next_ + items_.size() - 1 - i) % items_.size()]; }
    // Room for at least capacity items from now on; the kept ones stay.
    void Reserve(size_t capacity)
    {
        if (capacity <= items_.size())
            return;
        std::vector<T> grown(capacity);
        CopyNewest(count_, grown.data());
        items_.swap(grown);
        next_ = count_ % items_.size();
    }
    void Push(const T &item) { Push(&item, 1); }
    // Adds items, oldest first, overwriting the oldest kept when full.
    void Push(const T *items, size_t count)
    {
        if (items_.empty())
            Reserve(kFirstCapacity);
        const size_t capacity = items_.size();
        if (count > capacity) {
            items += count - capacity;
            count = capacity;
        }
        const size_t first = std::min(count, capacity - next_);
        std::copy_n(items, first, items_.begin() + std::ptrdiff_t(next_));
        std::copy_n(items + first, count - first, items_.begin());
        next_ = (next_ + count) % capacity;
        count_ = std::min(count_ + count, capacity);
    }
    // The newest count items (no more than there are), oldest first; how many.
    size_t CopyNewest(size_t count, T *out) const
    {
        count = std::min(count, count_);
        for (size_t i = 0; i < count; ++i)
            out[i] = Newest(count - 1 - i);
        return count;
    }
    // For marks (a T with the output frame it holds from): drops those from this frame
    // on, taken back unheard.
    void Truncate(uint64_t frame)
    {
        while (count_ > 0 && Newest(0).frame >= frame) {
            next_ = (next_ + items_.size() - 1) % items_.size();
            --count_;
        }
    }

private:
    static constexpr size_t kFirstCapacity = 64;

    std::vector<T> items_;
    size_t next_ = 0;
    size_t count_ = 0;
};

} // namespace tessel::sound
