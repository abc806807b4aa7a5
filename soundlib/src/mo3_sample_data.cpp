#include "mo3_sample_data.h"

#include <cstring>
#include <optional>
#include <vector>

namespace tessel::sound {
namespace {

// The container: "MO3", version, unpacked music size; from version 5 on the packed
// size follows, and the sample data starts right after the packed music data.
constexpr size_t kContainerSize = 8;
constexpr size_t kPackedSizeField = 4;
constexpr uint8_t kSizedVersion = 5; // also brings file names and shared Ogg headers
constexpr uint8_t kNewestVersion = 5;
// Far beyond any song's header; a larger claim is left to libopenmpt.
constexpr uint32_t kMaxMusicSize = 16u << 20;

// The song header after the title and the message.
namespace header {
constexpr size_t kOrders = 1, kPatterns = 5, kTracks = 7, kInstruments = 9, kSamples = 11;
constexpr size_t kChannels = 0, kSize = 422;
} // namespace header
constexpr size_t kInstrumentSize = 826;
// A sample record after its name (and, from version 5, its file name).
namespace sample {
constexpr size_t kLength = 8, kFlags = 20, kPackedSize = 35, kSize = 41;
constexpr uint16_t kSixteenBit = 0x0001, kStereo = 0x0400;
constexpr uint16_t kCompression = 0x7000, kSharedOgg = 0x7000;
} // namespace sample

uint16_t Le16(const uint8_t *at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

uint32_t Le32(const uint8_t *at)
{
    return static_cast<uint32_t>(at[0] | at[1] << 8 | at[2] << 16) | static_cast<uint32_t>(at[3]) << 24;
}

// The packed music data: a first literal byte, then LZ77 steps chosen by control bits
// that come eight to a byte, most significant first, between the other bytes.
class Unpacker {
public:
    Unpacker(const uint8_t *in, size_t size) : in_(in), size_(size) {}

    // The unpacked bytes, or nothing when the input ends or points outside them.
    std::optional<std::vector<uint8_t>> Unpack(uint32_t size);
    size_t Consumed() const { return at_; }

private:
    bool Byte(uint32_t &value)
    {
        if (at_ >= size_)
            return false;
        value = in_[at_++];
        return true;
    }
    bool Bit(uint32_t &bit)
    {
        if (bitsLeft_ == 0) {
            if (!Byte(control_))
                return false;
            bitsLeft_ = 8;
        }
        bit = control_ >> --bitsLeft_ & 1;
        return true;
    }
    // 1, then a bit per pair until a pair's second bit is 0, each appended to it.
    bool Gamma(int32_t &value)
    {
        uint32_t bit = 0, more = 0;
        value = 1;
        do {
            if (!Bit(bit) || !Bit(more) || value > (1 << 24))
                return false;
            value = value * 2 + static_cast<int32_t>(bit);
        } while (more);
        return true;
    }
    bool TwoBits(int32_t &value)
    {
        uint32_t high = 0, low = 0;
        if (!Bit(high) || !Bit(low))
            return false;
        value = value * 4 + static_cast<int32_t>(high * 2 + low);
        return true;
    }

    const uint8_t *in_;
    size_t size_;
    size_t at_ = 0;
    uint32_t control_ = 0;
    int bitsLeft_ = 0;
};

std::optional<std::vector<uint8_t>> Unpacker::Unpack(uint32_t size)
{
    std::vector<uint8_t> out;
    uint32_t value = 0, bit = 0;
    if (size == 0 || !Byte(value))
        return std::nullopt;
    out.push_back(static_cast<uint8_t>(value));
    int64_t previousOffset = 0;
    while (out.size() < size) {
        if (!Bit(bit))
            return std::nullopt;
        if (!bit) {
            if (!Byte(value))
                return std::nullopt;
            out.push_back(static_cast<uint8_t>(value));
            continue;
        }
        int32_t length = 0, extra = 0;
        int64_t offset = 0;
        if (!Gamma(length))
            return std::nullopt;
        length -= 3;
        if (length < 0) { // the previous offset again
            offset = previousOffset;
            length = 0;
        } else {
            if (!Byte(value))
                return std::nullopt;
            offset = ~(int64_t{length} << 8 | value);
            length = 0;
            // Far copies are at least one byte longer than their code says.
            extra = 1 + (offset < -1280) + (offset < -32000);
            previousOffset = offset;
        }
        if (!TwoBits(length))
            return std::nullopt;
        if (length == 0) {
            if (!Gamma(length))
                return std::nullopt;
            length += 2;
        }
        length += extra;
        if (length <= 0 || static_cast<uint32_t>(length) > size - out.size() || offset >= 0 ||
            static_cast<int64_t>(out.size()) + offset < 0)
            return std::nullopt;
        for (size_t from = static_cast<size_t>(static_cast<int64_t>(out.size()) + offset); length > 0; length--)
            out.push_back(out[from++]);
    }
    return out;
}

// Reads the unpacked music data in file order; past its end every step fails.
class Walker {
public:
    explicit Walker(const std::vector<uint8_t> &bytes) : at_(bytes.data()), end_(bytes.data() + bytes.size()) {}

    const uint8_t *Take(size_t count)
    {
        if (static_cast<size_t>(end_ - at_) < count)
            return nullptr;
        const uint8_t *taken = at_;
        at_ += count;
        return taken;
    }
    bool Skip(size_t count) { return Take(count) != nullptr; }
    bool SkipText()
    {
        const void *nul = std::memchr(at_, 0, static_cast<size_t>(end_ - at_));
        if (!nul)
            return false;
        at_ = static_cast<const uint8_t *>(nul) + 1;
        return true;
    }

private:
    const uint8_t *at_;
    const uint8_t *end_;
};

// What the sample records declare: the bytes of sample data in all, and where the data
// of each Vorbis sample that shares another's headers starts and how long it is.
struct Declared {
    uint64_t bytes = 0;
    std::vector<std::pair<uint64_t, uint32_t>> sharedVorbis;
};

// Nothing when the walk fails.
std::optional<Declared> DeclaredSampleData(const std::vector<uint8_t> &music, uint8_t version)
{
    Walker walk(music);
    if (!walk.SkipText() || !walk.SkipText()) // title, message
        return std::nullopt;
    const uint8_t *head = walk.Take(header::kSize);
    if (!head)
        return std::nullopt;
    size_t channels = head[header::kChannels], patterns = Le16(head + header::kPatterns);
    if (!walk.Skip(Le16(head + header::kOrders)) || !walk.Skip(patterns * channels * 2) || !walk.Skip(patterns * 2))
        return std::nullopt; // orders, the track of each pattern's channels, the row counts
    for (uint16_t track = Le16(head + header::kTracks); track > 0; track--) {
        const uint8_t *length = walk.Take(4);
        if (!length || !walk.Skip(Le32(length)))
            return std::nullopt;
    }
    bool named = version >= kSizedVersion;
    for (uint16_t instrument = Le16(head + header::kInstruments); instrument > 0; instrument--)
        if (!walk.SkipText() || (named && !walk.SkipText()) || !walk.Skip(kInstrumentSize))
            return std::nullopt;
    Declared declared;
    for (uint16_t s = Le16(head + header::kSamples); s > 0; s--) {
        const uint8_t *record = nullptr;
        if (!walk.SkipText() || (named && !walk.SkipText()) || !(record = walk.Take(sample::kSize)))
            return std::nullopt;
        uint16_t flags = Le16(record + sample::kFlags);
        int32_t packed = static_cast<int32_t>(Le32(record + sample::kPackedSize));
        if (named && (flags & sample::kCompression) == sample::kSharedOgg && !walk.Skip(2))
            return std::nullopt;                                  // which sample's Ogg headers it shares
        if ((flags & sample::kCompression) == 0 && packed == 0) { // stored plain
            declared.bytes += uint64_t{Le32(record + sample::kLength)} * (flags & sample::kSixteenBit ? 2 : 1) *
                              (flags & sample::kStereo ? 2 : 1);
        } else if (packed > 0) { // a negative size repeats an earlier sample's data
            if (named && (flags & sample::kCompression) == sample::kSharedOgg)
                declared.sharedVorbis.emplace_back(declared.bytes, static_cast<uint32_t>(packed));
            declared.bytes += static_cast<uint32_t>(packed);
        }
    }
    return declared;
}

// Ogg's CRC-32: polynomial 0x04C11DB7, most significant bit first, starting at 0.
uint32_t OggCrc(uint32_t crc, const uint8_t *bytes, size_t size)
{
    for (size_t i = 0; i < size; i++) {
        crc ^= static_cast<uint32_t>(bytes[i]) << 24;
        for (int bit = 0; bit < 8; bit++)
            crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// A whole Ogg page with its checksum right starts the bytes.
bool StartsWithOggPage(const uint8_t *bytes, size_t size)
{
    constexpr size_t kSegmentCount = 26, kSegments = 27, kCrc = 22;
    if (size < kSegments || std::memcmp(bytes, "OggS", 4) != 0 || bytes[4] != 0)
        return false;
    size_t headerSize = kSegments + bytes[kSegmentCount], pageSize = headerSize;
    if (size < headerSize)
        return false;
    for (size_t i = kSegments; i < headerSize; i++)
        pageSize += bytes[i];
    if (size < pageSize)
        return false;
    // The checksum counts its own field as zeros.
    const uint8_t zeros[4] = {};
    uint32_t crc = OggCrc(OggCrc(OggCrc(0, bytes, kCrc), zeros, 4), bytes + kCrc + 4, pageSize - kCrc - 4);
    return crc == Le32(bytes + kCrc);
}

} // namespace

bool Mo3SampleDataBroken(const uint8_t *file, size_t size)
{
    if (size < kContainerSize || std::memcmp(file, "MO3", 3) != 0 || file[3] > kNewestVersion)
        return false;
    uint8_t version = file[3];
    uint32_t musicSize = Le32(file + 4);
    bool sized = version >= kSizedVersion;
    size_t packedAt = kContainerSize + (sized ? kPackedSizeField : 0);
    if (musicSize > kMaxMusicSize || size < packedAt)
        return false;
    Unpacker unpacker(file + packedAt, size - packedAt);
    std::optional<std::vector<uint8_t>> music = unpacker.Unpack(musicSize);
    if (!music)
        return false;
    // Before version 5 the samples follow the last byte the unpacking read.
    uint64_t dataAt = sized ? uint64_t{packedAt} + Le32(file + kContainerSize) : packedAt + unpacker.Consumed();
    std::optional<Declared> declared = DeclaredSampleData(*music, version);
    if (!declared)
        return false;
    if (dataAt + declared->bytes > size)
        return true;
    // libopenmpt 0.6 reads past an empty list for a shared-header sample whose data holds
    // no Ogg page, and crashes.
    for (const auto &[offset, length] : declared->sharedVorbis)
        if (!StartsWithOggPage(file + dataAt + offset, length))
            return true;
    return false;
}

} // namespace tessel::sound
