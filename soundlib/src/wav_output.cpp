// The WAV file output: canonical 44-byte RIFF header, PCM data as rendered, written as
// fast as the render thread delivers. Nothing is written, and a named file is neither
// created nor truncated, before the first frame. A file that can seek has the sizes in
// its header brought up to what reached it whenever the music pauses or ends and at
// the close, after a failure too, so whatever is left behind plays. One that cannot
// (a pipe, a FIFO) gets a streamed WAV: sizes that mean "read to the end", never
// seeked. Every failure sticks, with the system's reason.
#include "output.h"
#include "output_file.h"

#include <tessel/wav_header.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "WAV data is little-endian, as the mix is written");

namespace tessel::sound {
namespace {

constexpr uint32_t kHeaderBytes = sizeof(wav::Header);
// RIFF sizes are 32-bit: data past this point is not written.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8);
// The data size of a streamed WAV, as other streaming writers give it: readers take it
// as "until the end", and it stays clear of the sign bit that some of them trip on.
constexpr uint32_t kStreamDataBytes = 0x7FFFF000;
// Data goes to the file in blocks of this size.
constexpr size_t kBufferBytes = 1 << 16;

class WavOutput final : public Output {
public:
    WavOutput(std::unique_ptr<OutputFile> file, const OutputFormat &format) : file_(std::move(file)), format_(format)
    {
        buffer_.reserve(kBufferBytes);
    }

    ~WavOutput() override { Close(); }

    void Write(const void *data, uint32_t frames) override
    {
        if (!Error().empty())
            return;
        if (!begun_ && !Begin())
            return;
        const uint32_t frameBytes = format_.FrameBytes();
        uint64_t bytes = uint64_t(frames) * frameBytes;
        bool tooLong = file_->Seekable() && dataBytes_ + bytes > kMaxDataBytes;
        if (tooLong)
            bytes = (kMaxDataBytes - dataBytes_) / frameBytes * frameBytes;
        Put(static_cast<const uint8_t *>(data), size_t(bytes));
        dataBytes_ += bytes;
        if (tooLong) {
            // What fits is kept: the file ends as a whole WAV at the limit.
            Flush();
            Fail(file_->Name() + ": longer than a WAV file can hold");
        }
    }

    uint32_t Latency() override { return 0; }

    // The render thread pauses the output whenever it has nothing to write: the file
    // then holds everything so far, under a header that says so.
    void Pause() override
    {
        Flush();
        UpdateHeader();
    }

    void Interrupt() override { file_->Interrupt(); }

    bool Continuous() const override { return false; }

    uint32_t ChunkFrames() const override { return 2048; }

    uint64_t FramesDelivered() const override
    {
        return sent_ > kHeaderBytes ? (sent_ - kHeaderBytes) / format_.FrameBytes() : 0;
    }

    void Close() override
    {
        if (closed_)
            return;
        closed_ = true;
        Flush();
        UpdateHeader();
        if (!file_->Close())
            FailWith("cannot close");
    }

private:
    // At the first frame: the file is made, the header goes first.
    bool Begin()
    {
        begun_ = true;
        if (!file_->Opened() && !file_->Create()) {
            FailWith("cannot create");
            return false;
        }
        const uint32_t dataBytes = file_->Seekable() ? 0 : kStreamDataBytes;
        const wav::Header header =
            wav::Header::Pcm(uint16_t(format_.channels), format_.rate, uint16_t(format_.bits), dataBytes);
        Put(reinterpret_cast<const uint8_t *>(&header), kHeaderBytes);
        return Error().empty();
    }

    void Put(const uint8_t *data, size_t size)
    {
        if (buffer_.size() + size > kBufferBytes)
            Flush();
        if (!Error().empty())
            return;
        if (size >= kBufferBytes)
            Send(data, size);
        else
            buffer_.insert(buffer_.end(), data, data + size);
    }

    void Flush()
    {
        if (!buffer_.empty() && Error().empty())
            Send(buffer_.data(), buffer_.size());
        buffer_.clear();
    }

    void Send(const uint8_t *data, size_t size)
    {
        size_t done = 0;
        bool ok = file_->Append(data, size, done);
        sent_ += done;
        if (!ok)
            FailWith("cannot write");
    }

    // To what reached the file, in whole frames, whatever failed before.
    void UpdateHeader()
    {
        if (!file_->Opened() || !file_->Seekable() || sent_ < kHeaderBytes || sent_ == patched_)
            return;
        patched_ = sent_;
        const uint32_t frameBytes = format_.FrameBytes();
        uint32_t dataBytes = uint32_t((sent_ - kHeaderBytes) / frameBytes * frameBytes);
        wav::Header sizes;
        sizes.SetDataBytes(dataBytes);
        bool ok = file_->WriteAt(offsetof(wav::Header, dataBytes), &sizes.dataBytes, sizeof sizes.dataBytes);
        ok = ok && file_->WriteAt(offsetof(wav::Header, riffBytes), &sizes.riffBytes, sizeof sizes.riffBytes);
        if (!ok)
            FailWith("cannot update the header of");
    }

    void FailWith(const std::string &what) { Fail(what + " " + file_->Name() + ": " + file_->Reason()); }

    std::unique_ptr<OutputFile> file_;
    OutputFormat format_;
    std::vector<uint8_t> buffer_;
    bool begun_ = false;
    bool closed_ = false;
    uint64_t dataBytes_ = 0; // data taken, buffered or sent
    uint64_t sent_ = 0;      // bytes that reached the file, header included
    uint64_t patched_ = 0;   // sent_ as the header last gave it
};

} // namespace

std::unique_ptr<Output> OpenWavOutput(const FileTarget &target, OutputFormat &format, std::string &error)
{
    if (format.rate == 0)
        format.rate = kOwnRate;
    std::unique_ptr<OutputFile> file =
        target.fd >= 0 ? OutputFile::ForDescriptor(target.fd, error) : OutputFile::ForPath(target.path, error);
    if (!file)
        return nullptr;
    return std::make_unique<WavOutput>(std::move(file), format);
}

} // namespace tessel::sound
