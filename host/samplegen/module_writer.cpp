// XM and IT writers: the header fields in file order, each layout's size named once.
#include "module_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace samplegen {
namespace {

class Writer {
public:
    Bytes bytes;

    size_t Size() const { return bytes.size(); }
    void U8(uint32_t v) { bytes.push_back(uint8_t(v)); }
    void U16(uint32_t v) { U8(v), U8(v >> 8); }
    void U32(uint32_t v) { U16(v), U16(v >> 16); }
    // A text field of width bytes, cut to fit and padded with zero bytes.
    void Text(const std::string &text, size_t width)
    {
        for (size_t i = 0; i < width; ++i)
            U8(i < text.size() ? uint8_t(text[i]) : 0);
    }
    void Zeros(size_t count) { bytes.insert(bytes.end(), count, 0); }
    void PatchU16(size_t at, uint32_t v) { bytes[at] = uint8_t(v), bytes[at + 1] = uint8_t(v >> 8); }
    void PatchU32(size_t at, uint32_t v)
    {
        PatchU16(at, v);
        PatchU16(at + 2, v >> 16);
    }
    void Append(const Bytes &more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
};

// XM layout.
constexpr uint32_t kXmHeaderSize = 276;     // from offset 60: sizes, counts, 256 orders
constexpr uint32_t kXmPatternHeader = 9;
constexpr uint32_t kXmInstrumentSize = 263; // with sample map, envelopes and padding
constexpr uint32_t kXmSampleHeaderSize = 40;
constexpr uint8_t kXmPacked = 0x80;         // a cell that names the fields that follow
constexpr uint8_t kXmVolumeBase = 0x10;     // volume column 0x10..0x50 sets volume 0..64
constexpr uint8_t kXmLoopForward = 1;

// IT layout.
constexpr uint32_t kItHeaderSize = 192;
constexpr uint32_t kItSampleHeaderSize = 80;
constexpr uint32_t kItPatternHeader = 8;
constexpr uint8_t kItOrderEnd = 255;
constexpr uint8_t kItNoteCut = 254;
constexpr int kItNoteShift = 11;            // XM's C-4 (49) is IT's C-5 (60)
constexpr uint16_t kItVersion = 0x0214;
constexpr uint16_t kItFlags = 0x01 | 0x08;  // stereo, linear slides; samples, no instruments
constexpr uint8_t kItSampleExists = 0x01, kItSampleLoop = 0x10, kItSigned = 0x01;
constexpr uint32_t kBaseRate = 8363;

void CheckSong(const Song &song)
{
    if (song.channels < 1 || song.channels > 32 || song.orders.empty() || song.orders.size() > 255 ||
        song.patterns.empty() || song.instruments.empty() || song.instruments.size() > 99)
        throw std::invalid_argument("song out of the formats' range");
    for (const Pattern &pattern : song.patterns)
        if (pattern.channels != song.channels || pattern.rows < 1 || pattern.rows > 256)
            throw std::invalid_argument("pattern does not fit the song");
}

Bytes XmPatternData(const Pattern &pattern)
{
    Writer out;
    for (const Cell &cell : pattern.cells) {
        uint8_t mask = kXmPacked;
        mask |= cell.note != kNoNote ? 0x01 : 0;
        mask |= cell.instrument != 0 ? 0x02 : 0;
        mask |= cell.volume != kNoVolume ? 0x04 : 0;
        out.U8(mask);
        if (mask & 0x01)
            out.U8(cell.note);
        if (mask & 0x02)
            out.U8(cell.instrument);
        if (mask & 0x04)
            out.U8(kXmVolumeBase + std::min<uint8_t>(cell.volume, 64));
    }
    return out.bytes;
}

Bytes DeltaCoded(const std::vector<int8_t> &data)
{
    Bytes out;
    int8_t previous = 0;
    for (int8_t value : data) {
        out.push_back(uint8_t(value - previous));
        previous = value;
    }
    return out;
}

uint32_t C5Speed(const Instrument &instrument)
{
    // Whole semitones only: a power of two for octaves, the tempered ratio otherwise.
    double rate = kBaseRate;
    for (int i = 0; i < instrument.relativeNote; ++i)
        rate *= 1.0594630943592953;
    for (int i = 0; i > instrument.relativeNote; --i)
        rate /= 1.0594630943592953;
    return uint32_t(rate + 0.5);
}

} // namespace

uint8_t NoteNumber(const char *name)
{
    static const char letters[] = "C-C#D-D#E-F-F#G-G#A-A#B-";
    for (int semitone = 0; semitone < 12; ++semitone)
        if (std::strncmp(name, letters + 2 * semitone, 2) == 0 && name[2] >= '0' && name[2] <= '7')
            return uint8_t((name[2] - '0') * 12 + semitone + 1);
    throw std::invalid_argument(std::string("not a note: ") + name);
}

Bytes WriteXm(const Song &song)
{
    CheckSong(song);
    Writer out;
    out.Text("Extended Module: ", 17);
    out.Text(song.title, 20);
    out.U8(0x1A);
    out.Text("Tessel samplegen", 20);
    out.U16(0x0104);
    out.U32(kXmHeaderSize);
    out.U16(uint32_t(song.orders.size()));
    out.U16(0); // restart position
    out.U16(uint32_t(song.channels));
    out.U16(uint32_t(song.patterns.size()));
    out.U16(uint32_t(song.instruments.size()));
    out.U16(1); // linear frequency table
    out.U16(uint32_t(song.speed));
    out.U16(uint32_t(song.tempo));
    for (size_t i = 0; i < 256; ++i)
        out.U8(i < song.orders.size() ? song.orders[i] : 0);

    for (const Pattern &pattern : song.patterns) {
        Bytes data = XmPatternData(pattern);
        if (data.size() > 0xFFFF)
            throw std::invalid_argument("pattern too large for XM");
        out.U32(kXmPatternHeader);
        out.U8(0); // packing type
        out.U16(uint32_t(pattern.rows));
        out.U16(uint32_t(data.size()));
        out.Append(data);
    }

    for (const Instrument &instrument : song.instruments) {
        size_t start = out.Size();
        out.U32(kXmInstrumentSize);
        out.Text(instrument.name, 22);
        out.U8(0);  // type
        out.U16(1); // one sample
        out.U32(kXmSampleHeaderSize);
        out.Zeros(96);     // every note plays sample 0
        out.Zeros(48 * 2); // volume and panning envelopes, unused
        out.Zeros(kXmInstrumentSize - (out.Size() - start));

        uint32_t length = uint32_t(instrument.data.size());
        out.U32(length);
        out.U32(instrument.loopLength ? instrument.loopStart : 0);
        out.U32(instrument.loopLength);
        out.U8(instrument.volume);
        out.U8(0);                                           // finetune
        out.U8(instrument.loopLength ? kXmLoopForward : 0);  // 8-bit, loop type
        out.U8(128);                                         // panning: centre
        out.U8(uint8_t(int8_t(instrument.relativeNote)));
        out.U8(0);                                           // reserved
        out.Text(instrument.name, 22);
        out.Append(DeltaCoded(instrument.data));
    }
    return out.bytes;
}

Bytes WriteIt(const Song &song)
{
    CheckSong(song);
    // Message text as IT stores it: CR between lines, a zero byte at the end.
    std::string message = song.message;
    if (!message.empty())
        message.push_back('\0');
    const size_t orderCount = song.orders.size() + 1; // with the end marker
    const size_t samples = song.instruments.size();
    const size_t patterns = song.patterns.size();

    Writer out;
    out.Text("IMPM", 4);
    out.Text(song.title, 26);
    out.U16(0x1004); // row highlight: 4 rows a beat, 16 a bar
    out.U16(uint32_t(orderCount));
    out.U16(0); // instruments
    out.U16(uint32_t(samples));
    out.U16(uint32_t(patterns));
    out.U16(kItVersion);
    out.U16(kItVersion);
    out.U16(kItFlags);
    out.U16(message.empty() ? 0 : 1); // special: bit 0 = message attached
    out.U8(128);                      // global volume
    out.U8(48);                       // mixing volume
    out.U8(uint32_t(song.speed));
    out.U8(uint32_t(song.tempo));
    out.U8(128); // stereo separation
    out.U8(0);   // pitch wheel depth
    out.U16(uint32_t(message.size()));
    const size_t messageOffsetAt = out.Size();
    out.U32(0);
    out.U32(0); // reserved
    for (int channel = 0; channel < 64; ++channel)
        out.U8(channel < song.channels ? 32 : 32 | 128); // centre; disabled past the song's
    for (int channel = 0; channel < 64; ++channel)
        out.U8(64);
    if (out.Size() != kItHeaderSize)
        throw std::logic_error("IT header size");

    for (uint8_t order : song.orders)
        out.U8(order);
    out.U8(kItOrderEnd);
    const size_t sampleTable = out.Size();
    out.Zeros(4 * samples);
    const size_t patternTable = out.Size();
    out.Zeros(4 * patterns);

    if (!message.empty()) {
        out.PatchU32(messageOffsetAt, uint32_t(out.Size()));
        out.Append(Bytes(message.begin(), message.end()));
    }

    std::vector<size_t> sampleHeaders;
    for (size_t i = 0; i < samples; ++i) {
        const Instrument &instrument = song.instruments[i];
        out.PatchU32(sampleTable + 4 * i, uint32_t(out.Size()));
        sampleHeaders.push_back(out.Size());
        size_t start = out.Size();
        out.Text("IMPS", 4);
        out.Text("", 12); // DOS file name
        out.U8(0);
        out.U8(64); // global volume
        out.U8(kItSampleExists | (instrument.loopLength ? kItSampleLoop : 0));
        out.U8(instrument.volume);
        out.Text(instrument.name, 26);
        out.U8(kItSigned);
        out.U8(32); // default pan, not in use
        out.U32(uint32_t(instrument.data.size()));
        out.U32(instrument.loopLength ? instrument.loopStart : 0);
        out.U32(instrument.loopLength ? instrument.loopStart + instrument.loopLength : 0);
        out.U32(C5Speed(instrument));
        out.U32(0); // sustain loop
        out.U32(0);
        out.U32(0); // sample data offset, patched below
        out.U32(0); // vibrato
        if (out.Size() - start != kItSampleHeaderSize)
            throw std::logic_error("IT sample header size");
    }

    for (size_t p = 0; p < patterns; ++p) {
        const Pattern &pattern = song.patterns[p];
        out.PatchU32(patternTable + 4 * p, uint32_t(out.Size()));
        Writer data;
        for (int row = 0; row < pattern.rows; ++row) {
            for (int channel = 0; channel < pattern.channels; ++channel) {
                const Cell &cell = pattern.At(row, channel);
                uint8_t mask = (cell.note != kNoNote ? 0x01 : 0) | (cell.instrument != 0 ? 0x02 : 0) |
                               (cell.volume != kNoVolume ? 0x04 : 0);
                if (mask == 0)
                    continue;
                data.U8(uint32_t(channel + 1) | 0x80); // a mask byte follows
                data.U8(mask);
                if (mask & 0x01)
                    data.U8(cell.note == kNoteOff ? kItNoteCut : cell.note + kItNoteShift);
                if (mask & 0x02)
                    data.U8(cell.instrument);
                if (mask & 0x04)
                    data.U8(std::min<uint8_t>(cell.volume, 64));
            }
            data.U8(0); // end of row
        }
        out.U16(uint32_t(data.Size()));
        out.U16(uint32_t(pattern.rows));
        out.U32(0);
        out.Append(data.bytes);
        static_assert(kItPatternHeader == 8, "length, rows, 4 reserved bytes");
    }

    for (size_t i = 0; i < samples; ++i) {
        const std::vector<int8_t> &pcm = song.instruments[i].data;
        out.PatchU32(sampleHeaders[i] + 72, uint32_t(out.Size()));
        for (int8_t value : pcm)
            out.U8(uint8_t(value));
    }
    return out.bytes;
}

} // namespace samplegen
