#include "modes/flac_file.h"

#include <FLAC/stream_encoder.h>

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace tessel::host {
namespace {

// The canonical header the sound library writes, and where its fields lie.
constexpr size_t kHeaderBytes = 44;
constexpr size_t kChannelsAt = 22; // 16 bits
constexpr size_t kRateAt = 24;     // 32 bits
constexpr size_t kBitsAt = 34;     // 16 bits
constexpr size_t kDataBytesAt = 40;
// Frames encoded per read.
constexpr size_t kChunkFrames = 4096;
// libFLAC's default compression (flac's own -5).
constexpr unsigned kCompression = 5;

uint32_t Le16(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t Le32(const unsigned char *p)
{
    return Le16(p) | Le16(p + 2) << 16;
}

struct Target {
    int fd;
    bool seekable; // a descriptor that appends writes at the end whatever the seek
    int error = 0; // errno of the first write that failed
};

FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder *, const FLAC__byte buffer[], size_t bytes, uint32_t,
                                     uint32_t, void *data)
{
    Target &target = *static_cast<Target *>(data);
    while (bytes > 0) {
        ssize_t wrote = write(target.fd, buffer, bytes);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            target.error = wrote < 0 ? errno : EIO;
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
        buffer += wrote;
        bytes -= size_t(wrote);
    }
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

// Seeking lets libFLAC put the length and checksum in the header at the end; a pipe
// gets a header without them.
FLAC__StreamEncoderSeekStatus Seek(const FLAC__StreamEncoder *, FLAC__uint64 offset, void *data)
{
    const Target &target = *static_cast<Target *>(data);
    if (!target.seekable)
        return FLAC__STREAM_ENCODER_SEEK_STATUS_UNSUPPORTED;
    if (lseek(target.fd, off_t(offset), SEEK_SET) >= 0)
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    return errno == ESPIPE ? FLAC__STREAM_ENCODER_SEEK_STATUS_UNSUPPORTED : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
}

FLAC__StreamEncoderTellStatus Tell(const FLAC__StreamEncoder *, FLAC__uint64 *offset, void *data)
{
    const Target &target = *static_cast<Target *>(data);
    if (!target.seekable)
        return FLAC__STREAM_ENCODER_TELL_STATUS_UNSUPPORTED;
    off_t at = lseek(target.fd, 0, SEEK_CUR);
    if (at < 0)
        return errno == ESPIPE ? FLAC__STREAM_ENCODER_TELL_STATUS_UNSUPPORTED : FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
    *offset = FLAC__uint64(at);
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

bool ReadAt(int fd, off_t offset, unsigned char *data, size_t size)
{
    while (size > 0) {
        ssize_t got = pread(fd, data, size, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got, offset += got, size -= size_t(got);
    }
    return true;
}

struct EncoderDeleter {
    void operator()(FLAC__StreamEncoder *encoder) const { FLAC__stream_encoder_delete(encoder); }
};

} // namespace

bool WavToFlac(int wavFd, int flacFd, std::string &error)
{
    unsigned char header[kHeaderBytes];
    if (!ReadAt(wavFd, 0, header, sizeof header) || std::memcmp(header, "RIFF", 4) != 0 ||
        std::memcmp(header + 8, "WAVE", 4) != 0) {
        error = "the rendered WAV has no header";
        return false;
    }
    const uint32_t channels = Le16(header + kChannelsAt);
    const uint32_t rate = Le32(header + kRateAt);
    const uint32_t bits = Le16(header + kBitsAt);
    if ((bits != 8 && bits != 16) || channels < 1 || channels > 2 || rate == 0) {
        error = "the rendered WAV is not 8- or 16-bit PCM";
        return false;
    }
    const uint32_t frameBytes = channels * bits / 8;
    const uint64_t frames = Le32(header + kDataBytesAt) / frameBytes;

    std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter> encoder(FLAC__stream_encoder_new());
    if (!encoder) {
        error = "libFLAC has no memory for an encoder";
        return false;
    }
    FLAC__stream_encoder_set_channels(encoder.get(), channels);
    FLAC__stream_encoder_set_bits_per_sample(encoder.get(), bits);
    FLAC__stream_encoder_set_sample_rate(encoder.get(), rate);
    FLAC__stream_encoder_set_compression_level(encoder.get(), kCompression);
    FLAC__stream_encoder_set_total_samples_estimate(encoder.get(), frames);
    const int flags = fcntl(flacFd, F_GETFL);
    Target target{flacFd, flags >= 0 && !(flags & O_APPEND)};
    if (FLAC__stream_encoder_init_stream(encoder.get(), Write, Seek, Tell, nullptr, &target) !=
        FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        error = std::string("libFLAC refused the stream: ") +
                FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(encoder.get())];
        return false;
    }
    std::vector<unsigned char> bytes(kChunkFrames * frameBytes);
    std::vector<FLAC__int32> samples(kChunkFrames * channels);
    bool ok = true;
    for (uint64_t done = 0; ok && done < frames;) {
        const size_t count = size_t(std::min<uint64_t>(kChunkFrames, frames - done));
        if (!ReadAt(wavFd, off_t(kHeaderBytes + done * frameBytes), bytes.data(), count * frameBytes)) {
            error = "the rendered WAV could not be read back";
            return false;
        }
        for (size_t i = 0; i < count * channels; ++i)
            samples[i] = bits == 8 ? FLAC__int32(bytes[i]) - 128 // WAV's 8 bits are unsigned
                                   : FLAC__int32(int16_t(uint16_t(Le16(&bytes[2 * i]))));
        ok = FLAC__stream_encoder_process_interleaved(encoder.get(), samples.data(), uint32_t(count));
        done += count;
    }
    ok = FLAC__stream_encoder_finish(encoder.get()) && ok;
    if (!ok) {
        error = target.error ? std::strerror(target.error)
                             : FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(encoder.get())];
        return false;
    }
    return true;
}

} // namespace tessel::host
