// Where rendered frames go. The render thread owns an output once BASS_Init has
// opened it: Write, Latency, Pause, Error are called from that thread only (and Close
// and Error again once it has been joined); Interrupt may be called from any thread.
// Every call may fail the output: Error tells, and the render thread looks after each.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tessel::sound {

struct OutputFormat {
    uint32_t rate = 44100; // 0 asks for the output's own rate
    uint32_t channels = 2; // the mix is always stereo; mono music sits in both channels
    uint32_t bits = 16;    // 16 (signed) or 8 (unsigned)

    uint32_t FrameBytes() const { return channels * bits / 8; }
};

// The rate of WAV files and the null and offline outputs when none is asked for.
constexpr uint32_t kOwnRate = 44100;

class Output {
public:
    virtual ~Output() = default;

    // Blocks until the output has taken the frames (interleaved, in the format), or
    // until Interrupt, or returns at once when the output has failed (see Error).
    virtual void Write(const void *data, uint32_t frames) = 0;
    // Frames written but not heard yet.
    virtual uint32_t Latency() = 0;
    // Stops at once and drops what is queued (the render thread keeps a copy of what was
    // not heard and writes it again on resume); the next Write starts it again.
    virtual void Pause() = 0;
    // Makes a blocked Write return soon, for good (BASS_Free is waiting to join).
    virtual void Interrupt() {}
    // A device keeps playing silence while nothing plays; files and the null output
    // only take frames while music plays (or drains).
    virtual bool Continuous() const = 0;
    // The most frames Latency may report, as far as the output knows when it opens
    // (0: none, or not known): what the render thread keeps of the frames written is sized by it.
    virtual uint32_t LatencyBound() const { return 0; }
    // Frames rendered per pass: small for outputs heard in real time (position
    // resolution), large for files (throughput).
    virtual uint32_t ChunkFrames() const = 0;
    // Frames that have reached the destination: a file's past its buffer. Only the
    // offline output asks, to tell the host what it really got.
    virtual uint64_t FramesDelivered() const { return 0; }
    // Frames of a chunk the output takes now: all of them, but for an output paced by
    // its host (the offline output), which takes what the host's pull lets through.
    virtual uint32_t Room(uint32_t chunk) { return chunk; }
    // The render thread has published what it wrote and waits, for a request or for
    // room: a host waiting on the output goes.
    virtual void RenderWaits() {}
    // The host paused, stopped, freed a music or cancelled: as RenderWaits, at once,
    // whatever the render thread is doing.
    virtual void Release() {}
    // Finishes what the output holds (a file's header, its close); failures go to Error.
    virtual void Close() {}
    // The output's first failure, for good ("" while all is well): a write or close
    // that failed, a device that went away.
    virtual std::string Error() const { return error_; }

protected:
    void Fail(const std::string &error)
    {
        if (error_.empty())
            error_ = error;
    }

private:
    std::string error_;
};

// Each Open takes the format asked for and leaves in it the format in use: a rate of
// 0, or one the output cannot take, gives the output's own rate.

// Where a file output writes: a path, or a host's open descriptor (fd >= 0).
struct FileTarget {
    std::string path;
    int fd = -1;
};

// The WAV file output (also under the offline output, PulledOutput). nullptr (with the reason in error) when the file
// cannot be opened.
std::unique_ptr<Output> OpenWavOutput(const FileTarget &target, OutputFormat &format, std::string &error);
std::unique_ptr<Output> OpenNullOutput(OutputFormat &format, uint32_t bufferMs);
// device: -1 for the default output device, n >= 0 for the n-th output device as
// DeviceDescription numbers them. nullptr when it cannot be opened.
std::unique_ptr<Output> OpenDeviceOutput(int device, OutputFormat &format);

// Readable name of output device n, or nullptr past the last one. n == 0 (or no list
// yet) scans the devices afresh; the text stays valid for the life of the process.
const char *DeviceDescription(int n);

} // namespace tessel::sound
