// The canonical 44-byte header of a PCM WAV file: a RIFF chunk holding a 16-byte "fmt "
// chunk and the header of the "data" chunk. The library writes it, the tests read it.
// Each field holds its bytes as the file does (little-endian on any machine), so the
// struct is the file's layout byte for byte and is copied in and out whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tessel::wav {

// An unsigned little-endian field, stored as its bytes.
template <typename T>
class LittleEndian {
public:
    LittleEndian() = default;
    LittleEndian(T value) { *this = value; }
    LittleEndian &operator=(T value)
    {
        for (size_t i = 0; i < sizeof(T); ++i)
            bytes_[i] = uint8_t(value >> (8 * i));
        return *this;
    }
    operator T() const
    {
        T value = 0;
        for (size_t i = sizeof(T); i-- > 0;)
            value = T(value << 8 | bytes_[i]);
        return value;
    }

private:
    uint8_t bytes_[sizeof(T)] = {};
};
using uint16le = LittleEndian<uint16_t>;
using uint32le = LittleEndian<uint32_t>;

struct Header {
    static constexpr uint16_t kPcm = 1;

    char riff[4];            // "RIFF"
    uint32le riffBytes;      // all that follows this field: 36 + dataBytes
    char wave[4];            // "WAVE"
    char fmt[4];             // "fmt "
    uint32le fmtBytes;       // 16
    uint16le formatTag;      // kPcm
    uint16le channels;       // 1 or 2
    uint32le sampleRate;     // frames per second
    uint32le bytesPerSecond; // sampleRate * blockAlign
    uint16le blockAlign;     // bytes of one frame
    uint16le bitsPerSample;  // 8 or 16
    char data[4];            // "data"
    uint32le dataBytes;      // the samples that follow

    // The header of PCM data in this format, dataBytes long.
    static Header Pcm(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataBytes)
    {
        Header header;
        std::memcpy(header.riff, "RIFF", 4);
        std::memcpy(header.wave, "WAVE", 4);
        std::memcpy(header.fmt, "fmt ", 4);
        std::memcpy(header.data, "data", 4);
        header.fmtBytes = 16;
        header.formatTag = kPcm;
        header.channels = channels;
        header.sampleRate = rate;
        header.blockAlign = uint16_t(channels * bits / 8);
        header.bytesPerSecond = rate * header.blockAlign;
        header.bitsPerSample = bits;
        header.SetDataBytes(dataBytes);
        return header;
    }

    void SetDataBytes(uint32_t bytes)
    {
        dataBytes = bytes;
        riffBytes = bytes + uint32_t(sizeof(Header) - offsetof(Header, wave));
    }

    // The four tags of a canonical header are in place.
    bool Canonical() const
    {
        return std::memcmp(riff, "RIFF", 4) == 0 && std::memcmp(wave, "WAVE", 4) == 0 &&
               std::memcmp(fmt, "fmt ", 4) == 0 && std::memcmp(data, "data", 4) == 0 && fmtBytes == 16;
    }
};
static_assert(sizeof(Header) == 44, "the canonical WAV header is 44 bytes");
static_assert(offsetof(Header, riffBytes) == 4 && offsetof(Header, dataBytes) == 40, "the sizes a writer patches");

} // namespace tessel::wav
