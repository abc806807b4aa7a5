// The offline output: the WAV output, written only as far as the host pulls. A pull
// lets its frames through and waits until the render thread waits again: the frames
// are in the file and what they hold is published, or there was nothing to write. The
// host's pause, stop, music freed or cancel end it at once (Release).
#pragma once

#include "output.h"

#include <condition_variable>
#include <mutex>

namespace tessel::sound {

class PulledOutput : public Output {
public:
    explicit PulledOutput(std::unique_ptr<Output> file) : file_(std::move(file)) {}

    // The host's side: Begin lets frames through (one pull at a time) and returns the
    // pull's number, Wait blocks until it is done and returns the frames that reached
    // the file. A pull ended by Close counts the last flush too.
    uint64_t Begin(uint32_t frames);
    uint32_t Wait(uint64_t pull);

    void Write(const void *data, uint32_t frames) override;
    uint32_t Latency() override { return file_->Latency(); }
    void Pause() override;
    void Interrupt() override { file_->Interrupt(); }
    bool Continuous() const override { return false; }
    uint32_t LatencyBound() const override { return file_->LatencyBound(); }
    uint32_t ChunkFrames() const override { return file_->ChunkFrames(); }
    uint64_t FramesDelivered() const override { return file_->FramesDelivered(); }
    uint32_t Room(uint32_t chunk) override;
    void RenderWaits() override { EndPull(); }
    void Release() override { EndPull(); }
    void Close() override;
    std::string Error() const override { return file_->Error(); }

private:
    void EndPull();
    // After every call to the file, on the render thread: what reached it. A failure
    // ends the pull as the render thread waits, once it has published the end.
    void Account();

    std::unique_ptr<Output> file_;
    std::mutex lock_;
    std::condition_variable done_;
    uint32_t credit_ = 0;    // frames the pull under way still lets through
    uint64_t pull_ = 0;      // number of the last pull
    uint64_t ended_ = 0;     // number of the last pull that is done
    uint64_t delivered_ = 0; // frames in the file, as last seen
    uint64_t base_ = 0;      // delivered_ when the pull began
    bool closed_ = false;    // closed: no pull waits any more
};

} // namespace tessel::sound
