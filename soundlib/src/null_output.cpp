// The null output: plays nothing, but takes frames at the rate a device would. It
// models a device buffer of a given length: Write blocks while the buffer is full,
// and a frame counts as heard once the clock has passed its place in the queue.
#include "output.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace tessel::sound {
namespace {

using Clock = std::chrono::steady_clock;

class NullOutput final : public Output {
public:
    NullOutput(const OutputFormat &format, uint32_t bufferMs)
        : rate_(format.rate), chunk_(std::max<uint32_t>(64, format.rate / 200)),
          buffer_(std::max<uint64_t>(chunk_, uint64_t(format.rate) * bufferMs / 1000))
    {
    }

    void Write(const void *, uint32_t frames) override
    {
        Clock::time_point now = Clock::now();
        if (QueueEnd() <= now) {
            // Ran dry (start, pause, nothing to play): the clock starts again from now.
            start_ = now;
            queued_ = 0;
        }
        // Room for these frames once the queue has shrunk to buffer_ - frames.
        uint64_t wait = queued_ + frames > buffer_ ? queued_ + frames - buffer_ : 0;
        Clock::time_point until = start_ + FramesToTime(wait);
        while (!interrupted_.load(std::memory_order_relaxed)) {
            now = Clock::now();
            if (now >= until)
                break;
            // Short slices, so BASS_Free never waits for a long buffer to drain.
            std::this_thread::sleep_for(std::min<Clock::duration>(until - now, std::chrono::milliseconds(10)));
        }
        queued_ += frames;
        // Whole minutes already heard move into start_, so the frame count never grows
        // large enough to overflow in nanoseconds.
        if (queued_ >= uint64_t(rate_) * 120) {
            start_ += std::chrono::seconds(60);
            queued_ -= uint64_t(rate_) * 60;
        }
    }

    uint32_t Latency() override
    {
        Clock::time_point now = Clock::now();
        Clock::time_point end = QueueEnd();
        if (end <= now)
            return 0;
        auto ahead = std::chrono::duration_cast<std::chrono::nanoseconds>(end - now).count();
        return static_cast<uint32_t>((uint64_t(ahead) * rate_ + 999999999) / 1000000000);
    }

    uint32_t LatencyBound() const override { return uint32_t(buffer_); }

    void Pause() override
    {
        // What was queued is dropped unheard, as a device's abort drops it.
        start_ = Clock::now();
        queued_ = 0;
    }

    void Interrupt() override { interrupted_.store(true, std::memory_order_relaxed); }

    bool Continuous() const override { return false; }

    uint32_t ChunkFrames() const override { return chunk_; }

private:
    Clock::duration FramesToTime(uint64_t frames) const
    {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(frames * 1000000000 / rate_));
    }

    // When the last queued frame has been heard.
    Clock::time_point QueueEnd() const { return start_ + FramesToTime(queued_); }

    uint32_t rate_;
    uint32_t chunk_;
    uint64_t buffer_;
    // The queue: queued_ frames heard back to back from start_ on.
    Clock::time_point start_ = Clock::now();
    uint64_t queued_ = 0;
    std::atomic<bool> interrupted_{false};
};

} // namespace

std::unique_ptr<Output> OpenNullOutput(OutputFormat &format, uint32_t bufferMs)
{
    if (format.rate == 0)
        format.rate = kOwnRate;
    return std::make_unique<NullOutput>(format, bufferMs);
}

} // namespace tessel::sound
