// The offline output: a WAV file written only as far as the host has pulled. The
// render thread blocks in Write until a pull lets frames through, so the render starts
// at the host's first pull, after everything its Play has set, and the same module
// with the same settings always gives the same file.
#include "output.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace tessel::sound {
namespace {

class Offline final : public OfflineOutput {
public:
    explicit Offline(std::unique_ptr<Output> file) : file_(std::move(file)) {}

    void Write(const void *data, uint32_t frames) override
    {
        const uint8_t *bytes = static_cast<const uint8_t *>(data);
        const uint32_t frameBytes = frameBytes_;
        std::unique_lock<std::mutex> lock(lock_);
        idle_ = false;
        while (frames > 0) {
            changed_.wait(lock, [&] { return credit_ > 0 || interrupted_; });
            if (interrupted_)
                return;
            uint32_t now = std::min(credit_, frames);
            lock.unlock();
            file_->Write(bytes, now);
            lock.lock();
            credit_ -= now;
            taken_ += now;
            bytes += size_t(now) * frameBytes;
            frames -= now;
            // The host is woken when its pull is done, not for every chunk.
            if (credit_ == 0)
                changed_.notify_all();
        }
    }

    void AwaitDemand() override
    {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [&] { return credit_ > 0 || interrupted_; });
    }

    uint32_t Pull(uint32_t frames) override
    {
        std::unique_lock<std::mutex> lock(lock_);
        taken_ = 0;
        credit_ = frames;
        changed_.notify_all();
        changed_.wait(lock, [&] { return credit_ == 0 || idle_ || interrupted_; });
        credit_ = 0;
        return taken_;
    }

    // The engine has nothing to write for now (paused, stopped, the music over).
    void Pause() override
    {
        file_->Pause();
        std::lock_guard<std::mutex> lock(lock_);
        idle_ = true;
        changed_.notify_all();
    }

    void Interrupt() override
    {
        file_->Interrupt();
        std::lock_guard<std::mutex> lock(lock_);
        interrupted_ = true;
        changed_.notify_all();
    }

    uint32_t Latency() override { return 0; }
    bool Continuous() const override { return false; }
    uint32_t ChunkFrames() const override { return file_->ChunkFrames(); }
    void Close() override { file_->Close(); }
    std::string Error() const override { return file_->Error(); }

    uint32_t frameBytes_ = 4;

private:
    std::unique_ptr<Output> file_;
    std::mutex lock_;
    std::condition_variable changed_;
    uint32_t credit_ = 0; // frames the host lets through
    uint32_t taken_ = 0;  // frames written since the last pull began
    bool idle_ = false;
    bool interrupted_ = false;
};

} // namespace

std::unique_ptr<OfflineOutput> OpenOfflineOutput(const FileTarget &target, OutputFormat &format, std::string &error)
{
    std::unique_ptr<Output> file = OpenWavOutput(target, format, error);
    if (!file)
        return nullptr;
    auto output = std::make_unique<Offline>(std::move(file));
    output->frameBytes_ = format.FrameBytes();
    return output;
}

} // namespace tessel::sound
