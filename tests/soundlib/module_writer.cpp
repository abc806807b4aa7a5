#include "module_writer.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace soundtest {
namespace {

constexpr int kSampleLength = 32;

// One period of a square wave, signed, at a moderate level.
std::vector<int8_t> SquareWave()
{
    std::vector<int8_t> wave(kSampleLength);
    for (int i = 0; i < kSampleLength; ++i)
        wave[i] = i < kSampleLength / 2 ? 48 : -48;
    return wave;
}

class Bytes {
public:
    void U8(int v) { data_.push_back(uint8_t(v)); }
    void U16le(int v) { U8(v); U8(v >> 8); }
    void U32le(uint32_t v) { U16le(int(v & 0xFFFF)); U16le(int(v >> 16)); }
    void U16be(int v) { U8(v >> 8); U8(v); }
    void Text(const std::string &text, size_t width)
    {
        for (size_t i = 0; i < width; ++i)
            U8(i < text.size() ? text[i] : 0);
    }
    void Zeros(size_t count) { data_.insert(data_.end(), count, 0); }
    void AlignTo(size_t multiple) { Zeros((multiple - data_.size() % multiple) % multiple); }
    void PatchU16le(size_t at, int v) { data_[at] = uint8_t(v); data_[at + 1] = uint8_t(v >> 8); }
    void PatchU32le(size_t at, uint32_t v) { PatchU16le(at, int(v & 0xFFFF)); PatchU16le(at + 2, int(v >> 16)); }
    size_t Size() const { return data_.size(); }
    std::vector<uint8_t> Take() { return std::move(data_); }

private:
    std::vector<uint8_t> data_;
};

int PatternCount(const Song &song)
{
    return int(song.patterns.size());
}

// Effect letters as numbers: MOD and XM share theirs, S3M and IT theirs (A = 1).
void ProTrackerEffect(const Cell &cell, int &command, int &param)
{
    command = 0;
    param = 0;
    switch (cell.effect) {
    case Effect::None: break;
    case Effect::Speed: command = 0xF; param = cell.param; break;
    case Effect::Tempo: command = 0xF; param = cell.param; break;
    case Effect::Break: command = 0xD; param = (cell.param / 10) * 16 + cell.param % 10; break;
    }
}

void ScreamTrackerEffect(const Cell &cell, int &command, int &param)
{
    command = 0;
    param = cell.param;
    switch (cell.effect) {
    case Effect::None: param = 0; break;
    case Effect::Speed: command = 'A' - '@'; break;
    case Effect::Tempo: command = 'T' - '@'; break;
    case Effect::Break: command = 'C' - '@'; break;
    }
}

} // namespace

Song TestSong(const std::string &name, int orderCount, int rowsPerOrder, int speed, int tempo)
{
    if (rowsPerOrder < 2 || rowsPerOrder > kRows)
        throw std::invalid_argument("rowsPerOrder");
    Song song;
    song.name = name;
    song.speed = speed;
    song.tempo = tempo;
    for (int order = 0; order < orderCount; ++order) {
        Pattern pattern;
        for (int channel = 0; channel < 2; ++channel) {
            Cell &cell = pattern.At(0, channel);
            cell.note = 1 + channel;
            cell.instrument = 1;
        }
        pattern.At(0, 2).effect = Effect::Tempo;
        pattern.At(0, 2).param = tempo;
        pattern.At(0, 3).effect = Effect::Speed;
        pattern.At(0, 3).param = speed;
        if (rowsPerOrder < kRows)
            pattern.At(rowsPerOrder - 1, 3).effect = Effect::Break;
        song.orders.push_back(order);
        song.patterns.push_back(pattern);
    }
    return song;
}

uint64_t SongFrames(int orderCount, int rowsPerOrder, int speed, int tempo, uint32_t rate)
{
    return uint64_t(orderCount) * rowsPerOrder * speed * rate * 5 / (2 * uint64_t(tempo));
}

std::vector<uint8_t> WriteMod(const Song &song)
{
    static const int kPeriods[] = {0, 428, 214};
    Bytes out;
    out.Text(song.name, 20);
    std::vector<int8_t> wave = SquareWave();
    out.Text("square", 22);
    out.U16be(kSampleLength / 2); // length in words
    out.U8(0);                    // finetune
    out.U8(64);                   // volume
    out.U16be(0);                 // loop start
    out.U16be(kSampleLength / 2); // loop length
    for (int i = 1; i < 31; ++i) {
        out.Zeros(22 + 2 + 1 + 1 + 2);
        out.U16be(1);
    }
    out.U8(int(song.orders.size()));
    out.U8(127);
    for (int i = 0; i < 128; ++i)
        out.U8(i < int(song.orders.size()) ? song.orders[i] : 0);
    out.Text("M.K.", 4);
    for (const Pattern &pattern : song.patterns)
        for (int row = 0; row < kRows; ++row)
            for (int channel = 0; channel < 4; ++channel) {
                const Cell &cell = pattern.At(row, channel);
                int period = kPeriods[cell.note];
                int command, param;
                ProTrackerEffect(cell, command, param);
                out.U8((cell.instrument & 0xF0) | (period >> 8));
                out.U8(period & 0xFF);
                out.U8(((cell.instrument & 0x0F) << 4) | command);
                out.U8(param);
            }
    for (int8_t sample : wave)
        out.U8(sample);
    return out.Take();
}

std::vector<uint8_t> WriteS3m(const Song &song)
{
    static const int kNotes[] = {0, 0x40, 0x50};
    static const int kChannelSettings[] = {0, 8, 9, 1}; // L R R L, as a MOD
    Bytes out;
    out.Text(song.name, 28);
    out.U8(0x1A);
    out.U8(16);
    out.Zeros(2);
    // Orders, padded to an even count with end markers.
    std::vector<int> orders;
    for (int order : song.orders)
        orders.push_back(order == kOrderEnd ? 255 : order == kOrderSkip ? 254 : order);
    orders.push_back(255);
    if (orders.size() % 2)
        orders.push_back(255);
    out.U16le(int(orders.size()));
    out.U16le(1);
    out.U16le(PatternCount(song));
    out.U16le(0);
    out.U16le(0x1320);
    out.U16le(2); // unsigned samples
    out.Text("SCRM", 4);
    out.U8(64);
    out.U8(song.speed);
    out.U8(song.tempo);
    out.U8(0x80 | 48);
    out.U8(0);
    out.U8(0);
    out.Zeros(8);
    out.U16le(0);
    for (int channel = 0; channel < 32; ++channel)
        out.U8(channel < song.channels ? kChannelSettings[channel % 4] : 255);
    for (int order : orders)
        out.U8(order);
    size_t pointers = out.Size();
    out.Zeros(2 * (1 + song.patterns.size()));
    out.AlignTo(16);

    size_t instrument = out.Size();
    out.PatchU16le(pointers, int(instrument >> 4));
    out.U8(1);
    out.Text("square.raw", 12);
    size_t memseg = out.Size();
    out.Zeros(3);
    out.U32le(kSampleLength);
    out.U32le(0);
    out.U32le(kSampleLength);
    out.U8(64);
    out.U8(0);
    out.U8(0);
    out.U8(1); // looped
    out.U32le(8363);
    out.Zeros(12);
    out.Text("square", 28);
    out.Text("SCRS", 4);
    out.AlignTo(16);

    for (size_t p = 0; p < song.patterns.size(); ++p) {
        out.AlignTo(16);
        size_t start = out.Size();
        out.PatchU16le(pointers + 2 * (1 + p), int(start >> 4));
        out.U16le(0);
        const Pattern &pattern = song.patterns[p];
        for (int row = 0; row < kRows; ++row) {
            for (int channel = 0; channel < song.channels; ++channel) {
                const Cell &cell = pattern.At(row, channel);
                int command, param;
                ScreamTrackerEffect(cell, command, param);
                int what = channel | (cell.note || cell.instrument ? 0x20 : 0) | (command ? 0x80 : 0);
                if (what == channel)
                    continue;
                out.U8(what);
                if (what & 0x20) {
                    out.U8(cell.note ? kNotes[cell.note] : 255);
                    out.U8(cell.instrument);
                }
                if (what & 0x80) {
                    out.U8(command);
                    out.U8(param);
                }
            }
            out.U8(0);
        }
        out.PatchU16le(start, int(out.Size() - start));
    }
    out.AlignTo(16);
    size_t data = out.Size() >> 4;
    out.PatchU16le(memseg + 1, int(data & 0xFFFF));
    std::vector<uint8_t> bytes = out.Take();
    bytes[memseg] = uint8_t(data >> 16);
    for (int8_t sample : SquareWave())
        bytes.push_back(uint8_t(sample + 128));
    return bytes;
}

std::vector<uint8_t> WriteXm(const Song &song)
{
    static const int kNotes[] = {0, 49, 61};
    Bytes out;
    out.Text("Extended Module: ", 17);
    out.Text(song.name, 20);
    out.U8(0x1A);
    out.Text("Tessel tests", 20);
    out.U16le(0x0104);
    out.U32le(276);
    out.U16le(int(song.orders.size()));
    out.U16le(0);
    out.U16le(song.channels);
    out.U16le(PatternCount(song));
    out.U16le(1);
    out.U16le(1); // linear frequencies
    out.U16le(song.speed);
    out.U16le(song.tempo);
    for (int i = 0; i < 256; ++i)
        out.U8(i < int(song.orders.size()) ? song.orders[i] : 0);
    for (const Pattern &pattern : song.patterns) {
        out.U32le(9);
        out.U8(0);
        out.U16le(kRows);
        out.U16le(kRows * song.channels * 5);
        for (int row = 0; row < kRows; ++row)
            for (int channel = 0; channel < song.channels; ++channel) {
                const Cell &cell = pattern.At(row, channel);
                int command, param;
                ProTrackerEffect(cell, command, param);
                out.U8(kNotes[cell.note]);
                out.U8(cell.instrument);
                out.U8(0);
                out.U8(command);
                out.U8(param);
            }
    }
    size_t instrument = out.Size();
    out.U32le(263);
    out.Text("square", 22);
    out.U8(0);
    out.U16le(1);
    out.U32le(40);
    while (out.Size() < instrument + 263)
        out.U8(0);
    out.U32le(kSampleLength);
    out.U32le(0);
    out.U32le(kSampleLength);
    out.U8(64);
    out.U8(0);
    out.U8(1); // forward loop, 8-bit
    out.U8(128);
    out.U8(0);
    out.U8(0);
    out.Text("square", 22);
    int8_t previous = 0;
    for (int8_t sample : SquareWave()) {
        out.U8(uint8_t(sample - previous));
        previous = sample;
    }
    return out.Take();
}

// Ogg's page checksum: CRC-32 with polynomial 0x04C11DB7, unreflected, from zero.
uint32_t OggCrc(const std::vector<uint8_t> &page)
{
    uint32_t crc = 0;
    for (uint8_t byte : page) {
        crc ^= uint32_t(byte) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

std::vector<uint8_t> WriteOggXm(const Song &song)
{
    std::vector<uint8_t> xm = WriteXm(song);
    // The one sample's 40-byte header sits right before its data at the file's end.
    size_t header = xm.size() - kSampleLength - 40;
    xm.resize(xm.size() - kSampleLength);
    // One well-formed Ogg page whose packet is no Vorbis header.
    const char packet[] = "\x01vorbis, but not really";
    std::vector<uint8_t> page = {'O', 'g', 'g', 'S', 0, 2};
    page.resize(page.size() + 8 + 4 + 4 + 4, 0); // granule, serial, sequence, checksum
    page.push_back(1);                            // one segment
    page.push_back(uint8_t(sizeof packet - 1));   // of the packet's length
    page.insert(page.end(), packet, packet + sizeof packet - 1);
    uint32_t crc = OggCrc(page);
    for (int i = 0; i < 4; ++i)
        page[22 + i] = uint8_t(crc >> (8 * i));
    // OggMod's layout: the decoded size, then the Ogg stream, as the sample's data.
    uint32_t length = uint32_t(4 + page.size());
    for (int i = 0; i < 4; ++i) {
        xm[header + i] = uint8_t(length >> (8 * i));
        xm[header + 4 + i] = 0; // loop start
        xm[header + 8 + i] = 0; // loop length
        xm.push_back(uint8_t(uint32_t(kSampleLength) >> (8 * i)));
    }
    xm[header + 14] = 0; // no loop, 8-bit
    xm.insert(xm.end(), page.begin(), page.end());
    return xm;
}

std::vector<uint8_t> WriteIt(const Song &song)
{
    static const int kNotes[] = {0, 60, 72};
    Bytes out;
    out.Text("IMPM", 4);
    out.Text(song.name, 26);
    out.U16le(0x0410);
    std::vector<int> orders;
    for (int order : song.orders)
        orders.push_back(order == kOrderEnd ? 255 : order == kOrderSkip ? 254 : order);
    orders.push_back(255);
    out.U16le(int(orders.size()));
    out.U16le(0);
    out.U16le(1);
    out.U16le(PatternCount(song));
    out.U16le(0x0214);
    out.U16le(0x0214);
    out.U16le(1 | 8); // stereo, linear slides
    out.U16le(0);
    out.U8(128);
    out.U8(48);
    out.U8(song.speed);
    out.U8(song.tempo);
    out.U8(128);
    out.U8(0);
    out.U16le(0);
    out.U32le(0);
    out.U32le(0);
    for (int channel = 0; channel < 64; ++channel)
        out.U8(channel < song.channels ? 32 : 32 | 128);
    for (int channel = 0; channel < 64; ++channel)
        out.U8(64);
    for (int order : orders)
        out.U8(order);
    size_t sampleOffset = out.Size();
    out.U32le(0);
    size_t patternOffsets = out.Size();
    out.Zeros(4 * song.patterns.size());

    out.PatchU32le(sampleOffset, uint32_t(out.Size()));
    size_t header = out.Size();
    out.Text("IMPS", 4);
    out.Text("square.raw", 12);
    out.U8(0);
    out.U8(64);
    out.U8(1 | 16); // sample present, looped
    out.U8(64);
    out.Text("square", 26);
    out.U8(1); // signed
    out.U8(0);
    out.U32le(kSampleLength);
    out.U32le(0);
    out.U32le(kSampleLength);
    out.U32le(8363);
    out.U32le(0);
    out.U32le(0);
    size_t samplePointer = out.Size();
    out.U32le(0);
    out.Zeros(4);
    if (out.Size() != header + 80)
        throw std::logic_error("IT sample header size");

    for (size_t p = 0; p < song.patterns.size(); ++p) {
        out.PatchU32le(patternOffsets + 4 * p, uint32_t(out.Size()));
        size_t start = out.Size();
        out.U16le(0);
        out.U16le(kRows);
        out.Zeros(4);
        const Pattern &pattern = song.patterns[p];
        for (int row = 0; row < kRows; ++row) {
            for (int channel = 0; channel < song.channels; ++channel) {
                const Cell &cell = pattern.At(row, channel);
                int command, param;
                ScreamTrackerEffect(cell, command, param);
                int mask = (cell.note ? 1 : 0) | (cell.instrument ? 2 : 0) | (command ? 8 : 0);
                if (mask == 0)
                    continue;
                out.U8((channel + 1) | 0x80);
                out.U8(mask);
                if (mask & 1)
                    out.U8(kNotes[cell.note]);
                if (mask & 2)
                    out.U8(cell.instrument);
                if (mask & 8) {
                    out.U8(command);
                    out.U8(param);
                }
            }
            out.U8(0);
        }
        out.PatchU16le(start, int(out.Size() - start - 8));
    }
    out.PatchU32le(samplePointer, uint32_t(out.Size()));
    for (int8_t sample : SquareWave())
        out.U8(sample);
    return out.Take();
}

void SaveFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path);
}

} // namespace soundtest
