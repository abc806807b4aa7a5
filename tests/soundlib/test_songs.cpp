#include "test_songs.h"

#include <fstream>
#include <stdexcept>

namespace soundtest {
namespace {

constexpr int kRows = 64;
constexpr size_t kSampleLength = 32;
constexpr size_t kXmSampleHeaderSize = 40;

} // namespace

Tune TestSong(const std::string &name, int orderCount, int rowsPerOrder, int speed, int tempo)
{
    using modwriter::Effect;
    if (rowsPerOrder < 2 || rowsPerOrder > kRows)
        throw std::invalid_argument("rowsPerOrder");
    Tune song;
    song.song.title = name;
    song.song.speed = speed;
    song.song.tempo = tempo;
    song.song.orders.clear();
    song.channels = 4;
    // One period, at a moderate level.
    song.samples = {modwriter::SquareSample("square", kSampleLength, kSampleLength, 48)};
    for (int order = 0; order < orderCount; ++order) {
        modwriter::Pattern pattern(kRows, song.channels);
        for (int channel = 0; channel < 2; ++channel) {
            modwriter::Cell &cell = pattern.At(0, channel);
            cell.note = uint8_t(modwriter::kMiddleC + 12 * channel);
            cell.instrument = 1;
        }
        pattern.At(0, 2).effect = Effect::Tempo;
        pattern.At(0, 2).param = uint8_t(tempo);
        pattern.At(0, 3).effect = Effect::Speed;
        pattern.At(0, 3).param = uint8_t(speed);
        if (rowsPerOrder < kRows)
            pattern.At(rowsPerOrder - 1, 3).effect = Effect::Break;
        song.song.orders.push_back(uint8_t(order));
        song.song.patterns.push_back(pattern);
    }
    return song;
}

uint64_t SongFrames(int orderCount, int rowsPerOrder, int speed, int tempo, uint32_t rate)
{
    return uint64_t(orderCount) * rowsPerOrder * speed * rate * 5 / (2 * uint64_t(tempo));
}

// Ogg's page checksum: CRC-32 with polynomial 0x04C11DB7, unreflected, from zero.
static uint32_t OggCrc(const std::vector<uint8_t> &page)
{
    uint32_t crc = 0;
    for (uint8_t byte : page) {
        crc ^= uint32_t(byte) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

std::vector<uint8_t> WriteOggXm(const Tune &song)
{
    std::vector<uint8_t> xm = modwriter::WriteXm(song);
    const size_t sampleLength = song.samples.at(0).data.size();
    // The one sample's header sits right before its data at the file's end.
    size_t header = xm.size() - sampleLength - kXmSampleHeaderSize;
    xm.resize(xm.size() - sampleLength);
    // One well-formed Ogg page whose packet is no Vorbis header.
    const char packet[] = "\x01vorbis, but not really";
    std::vector<uint8_t> page = {'O', 'g', 'g', 'S', 0, 2};
    page.resize(page.size() + 8 + 4 + 4 + 4, 0); // granule, serial, sequence, checksum
    page.push_back(1);                           // one segment
    page.push_back(uint8_t(sizeof packet - 1));  // of the packet's length
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
        xm.push_back(uint8_t(uint32_t(sampleLength) >> (8 * i)));
    }
    xm[header + 14] = 0; // no loop, 8-bit
    xm.insert(xm.end(), page.begin(), page.end());
    return xm;
}

void SaveFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path);
}

} // namespace soundtest
