// The WAV file output: canonical 44-byte RIFF header, PCM data as rendered, written as
// fast as the render thread delivers. The sizes in the header are brought up to date
// whenever the music pauses or ends and when the output closes, so a file left behind
// by a host that never called BASS_Free still plays. Every failure sticks, with the
// system's reason: a short write, a full disk, the file-size limit, a failing close.
#include "fopen_mode.h"
#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "WAV data is little-endian, as the mix is written");

namespace tessel::sound {
namespace {

constexpr uint32_t kHeaderBytes = 44;
constexpr uint32_t kRiffSizeOffset = 4;
constexpr uint32_t kDataSizeOffset = 40;
// RIFF sizes are 32-bit: data past this point is not written.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8);

void PutLe(uint8_t *at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

class WavOutput final : public Output {
public:
    WavOutput(std::FILE *file, const std::string &path, const OutputFormat &format)
        : file_(file), path_(path), format_(format), buffer_(new char[kBufferBytes])
    {
        // glibc ignores the size unless it is given the buffer too: it would write in
        // blocks of 4 KB, sixteen times the system calls.
        std::setvbuf(file_, buffer_.get(), _IOFBF, kBufferBytes);
    }

    ~WavOutput() override
    {
        Close();
    }

    bool WriteHeader()
    {
        uint8_t header[kHeaderBytes];
        std::memcpy(header, "RIFF\0\0\0\0WAVEfmt ", 16);
        PutLe(header + 16, 16, 4);                                         // fmt size
        PutLe(header + 20, 1, 2);                                          // PCM
        PutLe(header + 22, format_.channels, 2);
        PutLe(header + 24, format_.rate, 4);
        PutLe(header + 28, format_.rate * format_.FrameBytes(), 4);        // bytes/s
        PutLe(header + 32, format_.FrameBytes(), 2);                       // block align
        PutLe(header + 34, format_.bits, 2);
        std::memcpy(header + 36, "data", 4);
        PutLe(header + kDataSizeOffset, 0, 4);
        PutLe(header + kRiffSizeOffset, kHeaderBytes - 8, 4);
        if (std::fwrite(header, 1, kHeaderBytes, file_) != kHeaderBytes || std::fflush(file_) != 0)
            FailWith("cannot write");
        return Error().empty();
    }

    void Write(const void *data, uint32_t frames) override
    {
        if (!Error().empty())
            return;
        uint64_t bytes = uint64_t(frames) * format_.FrameBytes();
        if (dataBytes_ + bytes > kMaxDataBytes) {
            Fail(path_ + ": longer than a WAV file can hold");
            return;
        }
        if (std::fwrite(data, 1, bytes, file_) != bytes) {
            FailWith("cannot write");
            return;
        }
        dataBytes_ += bytes;
        dirty_ = true;
    }

    uint32_t Latency() override
    {
        return 0;
    }

    void Pause() override
    {
        UpdateHeader();
    }

    bool Continuous() const override
    {
        return false;
    }

    uint32_t ChunkFrames() const override
    {
        return 2048;
    }

    void Close() override
    {
        if (file_ == nullptr)
            return;
        UpdateHeader();
        if (std::fclose(file_) != 0)
            FailWith("cannot close");
        file_ = nullptr;
    }

private:
    void FailWith(const char *what)
    {
        Fail(std::string(what) + " " + path_ + ": " + std::strerror(errno ? errno : EIO));
    }

    // The render thread calls Pause when it goes idle, which keeps the header current.
    void UpdateHeader()
    {
        if (!dirty_ || !Error().empty())
            return;
        dirty_ = false;
        uint8_t size[4];
        long end = std::ftell(file_);
        PutLe(size, static_cast<uint32_t>(dataBytes_), 4);
        bool ok = std::fseek(file_, kDataSizeOffset, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
        PutLe(size, static_cast<uint32_t>(dataBytes_ + kHeaderBytes - 8), 4);
        ok = ok && std::fseek(file_, kRiffSizeOffset, SEEK_SET) == 0 && std::fwrite(size, 1, 4, file_) == 4;
        ok = ok && end >= 0 && std::fseek(file_, end, SEEK_SET) == 0 && std::fflush(file_) == 0;
        if (!ok)
            FailWith("cannot write");
    }

    static constexpr size_t kBufferBytes = 1 << 16;

    std::FILE *file_;
    std::string path_;
    OutputFormat format_;
    std::unique_ptr<char[]> buffer_; // the file's stdio buffer, so it outlives fclose
    uint64_t dataBytes_ = 0;
    bool dirty_ = false;
};

} // namespace

std::unique_ptr<Output> OpenWavOutput(const std::string &path, OutputFormat &format, std::string &error)
{
    if (format.rate == 0)
        format.rate = kOwnRate;
    std::FILE *file = std::fopen(path.c_str(), "wb" TESSEL_FOPEN_CLOEXEC);
    if (file == nullptr) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    auto output = std::make_unique<WavOutput>(file, path, format);
    if (!output->WriteHeader()) {
        error = output->Error();
        return nullptr;
    }
    return output;
}

} // namespace tessel::sound
