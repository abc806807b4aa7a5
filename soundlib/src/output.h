// Where rendered frames go. The render thread owns an output once BASS_Init has
// opened it: Write, Latency, Pause are called from that thread only; Interrupt may be
// called from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tessel::sound {

struct OutputFormat {
    uint32_t rate = 44100;
    uint32_t channels = 2; // the mix is always stereo; mono music sits in both channels
    uint32_t bits = 16;    // 16 (signed) or 8 (unsigned)

    uint32_t FrameBytes() const { return channels * bits / 8; }
};

class Output {
public:
    virtual ~Output() = default;

    // Blocks until the output has taken the frames (interleaved, in the format).
    virtual void Write(const void *data, uint32_t frames) = 0;
    // Frames written but not heard yet.
    virtual uint32_t Latency() = 0;
    // Stops the clock and drops what is queued; the next Write starts it again.
    virtual void Pause() = 0;
    // Makes a blocked Write return soon (BASS_Free is waiting to join).
    virtual void Interrupt() {}
    // A device keeps playing silence while nothing plays; files and the null output
    // only take frames while music plays (or drains).
    virtual bool Continuous() const = 0;
    // Frames rendered per pass: small for outputs heard in real time (position
    // resolution), large for files (throughput).
    virtual uint32_t ChunkFrames() const = 0;
};

// nullptr when the file cannot be created.
std::unique_ptr<Output> OpenWavOutput(const std::string &path, const OutputFormat &format);
std::unique_ptr<Output> OpenNullOutput(const OutputFormat &format, uint32_t bufferMs);
// device: -1 for the default output device, n >= 0 for the n-th output device as
// DeviceDescription numbers them. nullptr when it cannot be opened at this format.
std::unique_ptr<Output> OpenDeviceOutput(int device, const OutputFormat &format);

// Readable name of output device n, or nullptr past the last one. n == 0 (or no list
// yet) scans the devices afresh; the text stays valid for the life of the process.
const char *DeviceDescription(int n);

} // namespace tessel::sound
