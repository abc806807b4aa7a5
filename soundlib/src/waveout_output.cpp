// The device output on Windows: WinMM waveOut, with a ring of blocks the render thread
// fills in turn and an event the driver signals whenever one has been played. Devices
// are numbered as waveOut numbers them; -1 is WAVE_MAPPER, the user's preferred device.
#include "device_names.h"
#include "output.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace tessel::sound {
namespace {

// Blocks of 20 ms, eight of them queued at most: enough slack for a render thread that
// also mixes, little enough that the position heard stays close to the one rendered.
constexpr uint32_t kBlockMs = 20;
constexpr size_t kBlocks = 8;
// How long one wait for a played block lasts before the interrupt flag is looked at.
constexpr DWORD kWaitSliceMs = 50;

class WaveOutOutput final : public Output {
public:
    WaveOutOutput(HWAVEOUT wave, HANDLE event, const OutputFormat &format)
        : wave_(wave), event_(event), format_(format), chunk_(std::max<uint32_t>(64, format.rate * kBlockMs / 1000))
    {
        for (Block &block : blocks_) {
            block.data.resize(size_t(chunk_) * format_.FrameBytes());
            block.header.lpData = block.data.data();
            block.header.dwBufferLength = DWORD(block.data.size());
            block.prepared = waveOutPrepareHeader(wave_, &block.header, sizeof block.header) == MMSYSERR_NOERROR;
            broken_ = broken_ || !block.prepared;
        }
    }

    ~WaveOutOutput() override
    {
        waveOutReset(wave_);
        for (Block &block : blocks_)
            if (block.prepared)
                waveOutUnprepareHeader(wave_, &block.header, sizeof block.header);
        waveOutClose(wave_);
        CloseHandle(event_);
    }

    bool Prepared() const { return !broken_; }

    void Write(const void *data, uint32_t frames) override
    {
        frames = std::min(frames, chunk_);
        Block &block = blocks_[next_];
        if (broken_ || !WaitUntilPlayed(block))
            return;
        size_t bytes = size_t(frames) * format_.FrameBytes();
        std::memcpy(block.data.data(), data, bytes);
        block.header.dwBufferLength = DWORD(bytes);
        block.header.dwFlags &= ~WHDR_DONE;
        MMRESULT result = waveOutWrite(wave_, &block.header, sizeof block.header);
        if (result != MMSYSERR_NOERROR) {
            // The device has gone (unplugged, driver failure): sticky, and the host hears of it.
            broken_ = true;
            Fail("the sound device stopped taking sound (waveOut error " + std::to_string(result) + ")");
            return;
        }
        block.queued = true;
        next_ = (next_ + 1) % kBlocks;
        written_ += frames;
    }

    uint32_t Latency() override
    {
        if (written_ == 0)
            return 0;
        MMTIME time{};
        time.wType = TIME_SAMPLES;
        if (waveOutGetPosition(wave_, &time, sizeof time) != MMSYSERR_NOERROR || time.wType != TIME_SAMPLES)
            return 0;
        // The sample count is 32-bit and wraps: only the difference counts.
        uint32_t played = time.u.sample;
        uint32_t ahead = uint32_t(written_) - played;
        return ahead <= written_ ? ahead : 0;
    }

    uint32_t LatencyBound() const override { return uint32_t(kBlocks) * chunk_; }

    void Pause() override
    {
        // Drops what is queued: a pause is heard at once rather than a buffer later.
        waveOutReset(wave_);
        for (Block &block : blocks_)
            block.queued = false;
        written_ = 0;
    }

    void Interrupt() override
    {
        interrupted_.store(true);
        SetEvent(event_);
    }

    bool Continuous() const override { return true; }

    uint32_t ChunkFrames() const override { return chunk_; }

private:
    struct Block {
        WAVEHDR header{};
        std::vector<char> data;
        bool prepared = false;
        bool queued = false;
    };

    static bool Played(const Block &block)
    {
        // The driver sets the flag from its own thread.
        return !block.queued || (static_cast<const volatile DWORD &>(block.header.dwFlags) & WHDR_DONE) != 0;
    }

    // False when interrupted first.
    bool WaitUntilPlayed(Block &block)
    {
        while (!Played(block)) {
            if (interrupted_.load())
                return false;
            WaitForSingleObject(event_, kWaitSliceMs);
        }
        block.queued = false;
        return !interrupted_.load();
    }

    HWAVEOUT wave_;
    HANDLE event_;
    OutputFormat format_;
    uint32_t chunk_;
    std::array<Block, kBlocks> blocks_;
    size_t next_ = 0;
    uint64_t written_ = 0; // frames queued since the device last started from zero
    std::atomic<bool> interrupted_{false};
    bool broken_ = false;
};

} // namespace

std::vector<std::string> ScanDeviceNames()
{
    std::vector<std::string> names;
    UINT count = waveOutGetNumDevs();
    for (UINT id = 0; id < count; ++id) {
        WAVEOUTCAPSA caps{};
        if (waveOutGetDevCapsA(id, &caps, sizeof caps) != MMSYSERR_NOERROR)
            break; // the numbering must stay that of waveOutOpen
        caps.szPname[sizeof caps.szPname - 1] = '\0';
        names.push_back(caps.szPname);
    }
    return names;
}

std::unique_ptr<Output> OpenDeviceOutput(int device, OutputFormat &format)
{
    if (device < -1)
        return nullptr;
    // waveOut has no rate of its own to offer; the mapper converts what it is given.
    if (format.rate == 0)
        format.rate = kOwnRate;
    UINT id = device == -1 ? WAVE_MAPPER : UINT(device);
    if (device >= 0 && id >= waveOutGetNumDevs())
        return nullptr;
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = WORD(format.channels);
    wave.nSamplesPerSec = format.rate;
    wave.wBitsPerSample = WORD(format.bits);
    wave.nBlockAlign = WORD(format.FrameBytes());
    wave.nAvgBytesPerSec = format.rate * format.FrameBytes();
    // Auto-reset: each played block wakes the render thread once.
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr)
        return nullptr;
    HWAVEOUT handle = nullptr;
    MMRESULT result = waveOutOpen(&handle, id, &wave, DWORD_PTR(event), 0, CALLBACK_EVENT);
    if (result == WAVERR_BADFORMAT && format.rate != kOwnRate) {
        // A rate the device refuses gives the output's own, as on the other outputs.
        format.rate = kOwnRate;
        wave.nSamplesPerSec = format.rate;
        wave.nAvgBytesPerSec = format.rate * format.FrameBytes();
        result = waveOutOpen(&handle, id, &wave, DWORD_PTR(event), 0, CALLBACK_EVENT);
    }
    if (result != MMSYSERR_NOERROR) {
        CloseHandle(event);
        return nullptr;
    }
    auto output = std::make_unique<WaveOutOutput>(handle, event, format);
    if (!output->Prepared())
        return nullptr;
    return output;
}

} // namespace tessel::sound
