#include "pulled_output.h"

#include <algorithm>

namespace tessel::sound {

uint64_t PulledOutput::Begin(uint32_t frames)
{
    std::lock_guard<std::mutex> lock(lock_);
    credit_ = frames;
    base_ = delivered_;
    return ++pull_;
}

uint32_t PulledOutput::Wait(uint64_t pull)
{
    std::unique_lock<std::mutex> lock(lock_);
    done_.wait(lock, [&] { return ended_ >= pull || closed_; });
    credit_ = 0;
    return uint32_t(delivered_ - base_);
}

uint32_t PulledOutput::Room(uint32_t chunk)
{
    std::lock_guard<std::mutex> lock(lock_);
    return std::min(chunk, credit_);
}

void PulledOutput::Write(const void *data, uint32_t frames)
{
    file_->Write(data, frames);
    bool had;
    {
        std::lock_guard<std::mutex> lock(lock_);
        credit_ -= std::min(credit_, frames);
        had = credit_ == 0;
    }
    // A pull that has had its frames leaves them in the file, under a header that says so.
    if (had)
        file_->Pause();
    Account();
}

void PulledOutput::Pause()
{
    file_->Pause();
    Account();
}

void PulledOutput::Close()
{
    file_->Close();
    std::lock_guard<std::mutex> lock(lock_);
    delivered_ = file_->FramesDelivered();
    closed_ = true;
    done_.notify_all();
}

void PulledOutput::EndPull()
{
    std::lock_guard<std::mutex> lock(lock_);
    if (ended_ == pull_)
        return;
    ended_ = pull_;
    done_.notify_all();
}

void PulledOutput::Account()
{
    std::lock_guard<std::mutex> lock(lock_);
    delivered_ = file_->FramesDelivered();
}

} // namespace tessel::sound
