// The device output on PortAudio, in blocking mode: the render thread writes and
// PortAudio's own buffer paces it. Devices are numbered as BASS numbers them: the
// output-capable PortAudio devices in PortAudio's order, from 0.
//
// One PortAudio session serves the whole process: setting it up probes every audio
// system, which is too slow for each track change. The device list is read afresh
// (a new session) only when it is asked for while no stream is open. The session ends
// with the process, after the last stream has closed.
#include "device_names.h"
#include "output.h"
#include "quiet.h"

#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessel::sound {
namespace {

// Longest sleep between two looks at a stream that has no room: bounds how late an
// interrupt is seen, and how often a stalled device is asked.
constexpr auto kRoomPollLimit = std::chrono::milliseconds(5);

// PortAudio's process-wide state. Its initialisation, device list and stream opening
// are not thread-safe: all under lock, which the callers hold for every other call.
class PortAudio {
public:
    // The process's session, kept by the process and by every open stream.
    static std::shared_ptr<PortAudio> Process()
    {
        static const std::shared_ptr<PortAudio> process(new PortAudio);
        return process;
    }

    ~PortAudio()
    {
        if (ready_)
            Pa_Terminate();
    }
    PortAudio(const PortAudio &) = delete;
    PortAudio &operator=(const PortAudio &) = delete;

    std::mutex lock;
    int openStreams = 0; // under lock

    // Sets the session up if it is not (lock held).
    bool Ready()
    {
        if (!ready_) {
            // PortAudio loads ALSA and JACK before it probes: their printers go quiet first.
            SilenceAudioBackends();
            ready_ = Pa_Initialize() == paNoError;
        }
        return ready_;
    }

    // A new session, for a fresh device list, when no stream is open (lock held).
    bool Renewed()
    {
        if (openStreams == 0 && ready_) {
            Pa_Terminate();
            ready_ = false;
        }
        return Ready();
    }

private:
    PortAudio() = default;
    bool ready_ = false;
};

// PortAudio indices of the output devices, in order (PortAudio's lock held).
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

} // namespace

std::vector<std::string> ScanDeviceNames()
{
    std::vector<std::string> names;
    std::shared_ptr<PortAudio> portAudio = PortAudio::Process();
    std::lock_guard<std::mutex> lock(portAudio->lock);
    if (!portAudio->Renewed())
        return names;
    bool severalApis = Pa_GetHostApiCount() > 1;
    for (PaDeviceIndex index : OutputDeviceIndices()) {
        const PaDeviceInfo *info = Pa_GetDeviceInfo(index);
        std::string text = info->name != nullptr ? info->name : "";
        const PaHostApiInfo *api = Pa_GetHostApiInfo(info->hostApi);
        if (severalApis && api != nullptr && api->name != nullptr)
            text += std::string(" (") + api->name + ")";
        names.push_back(text);
    }
    return names;
}

namespace {

class DeviceOutput final : public Output {
public:
    DeviceOutput(std::shared_ptr<PortAudio> portAudio, PaStream *stream, const OutputFormat &format)
        : portAudio_(std::move(portAudio)), stream_(stream), format_(format),
          chunk_(std::max<uint32_t>(64, format.rate / 200))
    {
        const PaStreamInfo *info = Pa_GetStreamInfo(stream_);
        deviceLatency_ = info != nullptr ? static_cast<uint32_t>(info->outputLatency * format.rate) : 0;
    }

    ~DeviceOutput() override
    {
        std::lock_guard<std::mutex> lock(portAudio_->lock);
        if (started_)
            Pa_AbortStream(stream_);
        Pa_CloseStream(stream_);
        --portAudio_->openStreams;
    }

    // In slices of what the stream takes now, so that a stalled device never holds
    // the render thread in PortAudio: BASS_Free's interrupt is seen between slices.
    void Write(const void *data, uint32_t frames) override
    {
        if (!Error().empty())
            return;
        if (!started_) {
            PaError error = Pa_StartStream(stream_);
            if (error != paNoError) {
                Lost(error);
                return;
            }
            started_ = true;
            signed long room = Pa_GetStreamWriteAvailable(stream_);
            capacity_ = room > 0 ? static_cast<uint32_t>(room) : 0;
        }
        const uint8_t *bytes = static_cast<const uint8_t *>(data);
        while (frames > 0 && !interrupted_.load(std::memory_order_relaxed)) {
            signed long room = Pa_GetStreamWriteAvailable(stream_);
            if (room < 0) {
                Lost(PaError(room));
                return;
            }
            if (room == 0) {
                auto wait = std::chrono::nanoseconds(uint64_t(std::min(frames, chunk_)) * 1000000000 / format_.rate);
                std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(wait, kRoomPollLimit));
                continue;
            }
            uint32_t now = std::min<uint32_t>(frames, uint32_t(room));
            PaError error = Pa_WriteStream(stream_, bytes, now);
            // An underflow is a glitch already heard; anything else means the device
            // has gone.
            if (error != paNoError && error != paOutputUnderflowed) {
                Lost(error);
                return;
            }
            bytes += size_t(now) * format_.FrameBytes();
            frames -= now;
        }
    }

    uint32_t Latency() override
    {
        if (!started_ || !Error().empty())
            return 0;
        // What sits in PortAudio's buffer, plus what the device holds beyond it.
        signed long room = Pa_GetStreamWriteAvailable(stream_);
        uint32_t queued = room >= 0 && uint32_t(room) < capacity_ ? capacity_ - uint32_t(room) : 0;
        uint32_t beyond = deviceLatency_ > capacity_ ? deviceLatency_ - capacity_ : 0;
        return queued + beyond;
    }

    uint32_t LatencyBound() const override
    {
        // What PortAudio says the stream holds; a buffer beyond it makes the engine's
        // room grow as it shows.
        return deviceLatency_;
    }

    void Pause() override
    {
        if (!started_)
            return;
        // Drops what is queued: a pause is heard at once rather than a buffer later,
        // and never waits for a stalled device to play its buffer out.
        Pa_AbortStream(stream_);
        started_ = false;
    }

    void Interrupt() override { interrupted_.store(true, std::memory_order_relaxed); }

    bool Continuous() const override { return true; }

    uint32_t ChunkFrames() const override { return chunk_; }

private:
    void Lost(PaError error) { Fail(std::string("the sound device stopped: ") + Pa_GetErrorText(error)); }

    std::shared_ptr<PortAudio> portAudio_; // outlives the stream
    PaStream *stream_;
    OutputFormat format_;
    uint32_t chunk_;
    uint32_t deviceLatency_ = 0;
    uint32_t capacity_ = 0;
    bool started_ = false;
    std::atomic<bool> interrupted_{false};
};

// Opens a blocking stream at rate (PortAudio's lock held); nullptr when it refuses.
PaStream *OpenStream(PaDeviceIndex index, const PaDeviceInfo &info, const OutputFormat &format, double rate)
{
    PaStreamParameters parameters{};
    parameters.device = index;
    parameters.channelCount = int(format.channels);
    parameters.sampleFormat = format.bits == 8 ? paUInt8 : paInt16;
    // The high latency: blocking writes from a thread that also renders need slack.
    parameters.suggestedLatency = info.defaultHighOutputLatency;
    PaStream *stream = nullptr;
    if (Pa_OpenStream(&stream, nullptr, &parameters, rate, paFramesPerBufferUnspecified, paClipOff, nullptr, nullptr) !=
        paNoError)
        return nullptr;
    return stream;
}

} // namespace

std::unique_ptr<Output> OpenDeviceOutput(int device, OutputFormat &format)
{
    if (device < -1)
        return nullptr;
    std::shared_ptr<PortAudio> portAudio = PortAudio::Process();
    std::lock_guard<std::mutex> lock(portAudio->lock);
    if (!portAudio->Ready())
        return nullptr;
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
    // No rate, or one the device refuses: the device's own.
    PaStream *stream = format.rate != 0 ? OpenStream(index, *info, format, format.rate) : nullptr;
    if (stream == nullptr && info->defaultSampleRate >= 1) {
        format.rate = uint32_t(info->defaultSampleRate + 0.5);
        stream = OpenStream(index, *info, format, format.rate);
    }
    if (stream == nullptr)
        return nullptr;
    ++portAudio->openStreams;
    return std::make_unique<DeviceOutput>(std::move(portAudio), stream, format);
}

} // namespace tessel::sound
