// The device output on PortAudio, in blocking mode: the render thread writes and
// PortAudio's own buffer paces it. Devices are numbered as BASS numbers them: the
// output-capable PortAudio devices in PortAudio's order, from 0.
#include "output.h"
#include "quiet.h"

#include <portaudio.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessel::sound {
namespace {

// PortAudio's initialisation and device list are process-wide and not thread-safe.
std::mutex paLock;

// Pa_Initialize / Pa_Terminate under the lock, with the probing noise silenced.
class PaSession {
public:
    PaSession()
    {
        std::lock_guard<std::mutex> lock(paLock);
        SilenceAudioBackends();
        QuietStderr quiet;
        ok_ = Pa_Initialize() == paNoError;
    }
    ~PaSession()
    {
        if (!ok_)
            return;
        std::lock_guard<std::mutex> lock(paLock);
        QuietStderr quiet;
        Pa_Terminate();
    }
    PaSession(const PaSession &) = delete;
    PaSession &operator=(const PaSession &) = delete;
    bool Ok() const { return ok_; }

private:
    bool ok_ = false;
};

// PortAudio indices of the output devices, in order. Call with paLock held.
std::vector<PaDeviceIndex> OutputDeviceIndices()
{
    std::vector<PaDeviceIndex> devices;
    PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo *info = Pa_GetDeviceInfo(i);
        if (info != nullptr && info->maxOutputChannels > 0)
            devices.push_back(i);
    }
    return devices;
}

// Every description ever handed out, so the pointers stay valid.
std::deque<std::string> descriptionPool;
std::vector<const char *> descriptions;

const char *Pooled(const std::string &text)
{
    for (const std::string &known : descriptionPool)
        if (known == text)
            return known.c_str();
    descriptionPool.push_back(text);
    return descriptionPool.back().c_str();
}

void ScanDescriptions()
{
    PaSession session;
    std::lock_guard<std::mutex> lock(paLock);
    descriptions.clear();
    if (!session.Ok())
        return;
    bool severalApis = Pa_GetHostApiCount() > 1;
    for (PaDeviceIndex index : OutputDeviceIndices()) {
        const PaDeviceInfo *info = Pa_GetDeviceInfo(index);
        std::string text = info->name != nullptr ? info->name : "";
        const PaHostApiInfo *api = Pa_GetHostApiInfo(info->hostApi);
        if (severalApis && api != nullptr && api->name != nullptr)
            text += std::string(" (") + api->name + ")";
        descriptions.push_back(Pooled(text));
    }
}

std::mutex descriptionLock;

class DeviceOutput final : public Output {
public:
    DeviceOutput(std::unique_ptr<PaSession> session, PaStream *stream, const OutputFormat &format)
        : session_(std::move(session)), stream_(stream), format_(format),
          chunk_(std::max<uint32_t>(64, format.rate / 200))
    {
        const PaStreamInfo *info = Pa_GetStreamInfo(stream_);
        deviceLatency_ = info != nullptr ? static_cast<uint32_t>(info->outputLatency * format.rate) : 0;
    }

    ~DeviceOutput() override
    {
        {
            QuietStderr quiet;
            if (started_)
                Pa_AbortStream(stream_);
            Pa_CloseStream(stream_);
        }
        session_.reset();
    }

    void Write(const void *data, uint32_t frames) override
    {
        if (!started_ && !broken_) {
            QuietStderr quiet;
            broken_ = Pa_StartStream(stream_) != paNoError;
            started_ = !broken_;
            signed long room = started_ ? Pa_GetStreamWriteAvailable(stream_) : 0;
            capacity_ = room > 0 ? static_cast<uint32_t>(room) : 0;
        }
        if (!broken_) {
            PaError error = Pa_WriteStream(stream_, data, frames);
            // An underflow is a glitch already heard; anything else means the device
            // has gone, and the clock below keeps the music's time instead.
            if (error == paNoError || error == paOutputUnderflowed)
                return;
            broken_ = true;
        }
        std::this_thread::sleep_for(std::chrono::nanoseconds(uint64_t(frames) * 1000000000 / format_.rate));
    }

    uint32_t Latency() override
    {
        if (!started_)
            return 0;
        // What sits in PortAudio's buffer, plus what the device holds beyond it.
        signed long room = Pa_GetStreamWriteAvailable(stream_);
        uint32_t queued = room >= 0 && uint32_t(room) < capacity_ ? capacity_ - uint32_t(room) : 0;
        uint32_t beyond = deviceLatency_ > capacity_ ? deviceLatency_ - capacity_ : 0;
        return queued + beyond;
    }

    void Pause() override
    {
        if (!started_)
            return;
        // Drops what is queued: a pause is heard at once rather than a buffer later.
        QuietStderr quiet;
        Pa_AbortStream(stream_);
        started_ = false;
    }

    bool Continuous() const override
    {
        return true;
    }

    uint32_t ChunkFrames() const override
    {
        return chunk_;
    }

private:
    std::unique_ptr<PaSession> session_;
    PaStream *stream_;
    OutputFormat format_;
    uint32_t chunk_;
    uint32_t deviceLatency_ = 0;
    uint32_t capacity_ = 0;
    bool started_ = false;
    bool broken_ = false;
};

} // namespace

const char *DeviceDescription(int n)
{
    if (n < 0)
        return nullptr;
    std::lock_guard<std::mutex> lock(descriptionLock);
    if (n == 0 || descriptions.empty())
        ScanDescriptions();
    return size_t(n) < descriptions.size() ? descriptions[n] : nullptr;
}

std::unique_ptr<Output> OpenDeviceOutput(int device, const OutputFormat &format)
{
    if (device < -1)
        return nullptr;
    auto session = std::make_unique<PaSession>();
    if (!session->Ok())
        return nullptr;
    PaStream *stream = nullptr;
    {
        std::lock_guard<std::mutex> lock(paLock);
        PaDeviceIndex index = paNoDevice;
        if (device == -1) {
            index = Pa_GetDefaultOutputDevice();
        } else {
            std::vector<PaDeviceIndex> devices = OutputDeviceIndices();
            if (size_t(device) < devices.size())
                index = devices[device];
        }
        const PaDeviceInfo *info = index != paNoDevice ? Pa_GetDeviceInfo(index) : nullptr;
        if (info == nullptr || info->maxOutputChannels < int(format.channels))
            return nullptr;
        PaStreamParameters parameters{};
        parameters.device = index;
        parameters.channelCount = int(format.channels);
        parameters.sampleFormat = format.bits == 8 ? paUInt8 : paInt16;
        // The high latency: blocking writes from a thread that also renders need slack.
        parameters.suggestedLatency = info->defaultHighOutputLatency;
        QuietStderr quiet;
        if (Pa_OpenStream(&stream, nullptr, &parameters, format.rate, paFramesPerBufferUnspecified, paClipOff,
                          nullptr, nullptr) != paNoError)
            return nullptr;
    }
    return std::make_unique<DeviceOutput>(std::move(session), stream, format);
}

} // namespace tessel::sound
