// ProTracker MOD: song name, 31 sample records, orders, tag at 1080, patterns of 64
// rows × channels × 4 bytes, then the sample data.
#include "layout.h"

#include <algorithm>

namespace modwriter {

namespace {
const size_t kSampleRecords = 31;
const size_t kSampleRecordSize = 30;
const size_t kSongLengthOffset = 950;
const size_t kOrdersOffset = 952;
const size_t kOrderCount = 128;
const size_t kTagOffset = 1080;
const int kRows = 64;
const uint8_t kDefaultNote = 61; // C-5: period 214

// Periods of the octave from middle C; each octave below doubles them.
uint16_t Period(uint8_t note)
{
    static const uint16_t kMiddleOctave[12] = {428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226};
    if (note == kNoNote || note > 96)
        return 0;
    int octave = (note - 1) / 12 - 4;
    uint16_t period = kMiddleOctave[(note - 1) % 12];
    return octave < 0 ? uint16_t(period << -octave) : uint16_t(period >> octave);
}

void PutCell(Bytes &pattern, size_t at, const Cell &cell)
{
    uint16_t period = Period(cell.note);
    EffectCode effect = ProTrackerEffect(cell);
    pattern[at] = static_cast<uint8_t>((cell.instrument & 0xF0) | (period >> 8 & 0x0F));
    pattern[at + 1] = period & 0xFF;
    pattern[at + 2] = static_cast<uint8_t>((cell.instrument & 0x0F) << 4 | effect.command);
    pattern[at + 3] = effect.param;
}
} // namespace

Bytes BuildMod(const ModFile &mod)
{
    Image image;
    Record header(kTagOffset + 4);
    header.Text(0, mod.song.title, 20);
    for (size_t k = 0; k < kSampleRecords && k < mod.samples.size(); k++) {
        const Sample &sample = mod.samples[k];
        Loop loop = LoopOf(sample);
        size_t at = 20 + kSampleRecordSize * k;
        header.Text(at, sample.name, 22);
        PutBe16(header.bytes, at + 22, static_cast<uint16_t>(sample.data.size() / 2)); // in words
        header.Byte(at + 24, 0).Byte(at + 25, sample.volume);
        PutBe16(header.bytes, at + 26, static_cast<uint16_t>(loop.start / 2));
        PutBe16(header.bytes, at + 28, loop.length >= 2 ? static_cast<uint16_t>(loop.length / 2) : 1);
    }
    header.Byte(kSongLengthOffset, static_cast<uint8_t>(mod.song.orders.size()));
    header.Byte(kSongLengthOffset + 1, 127);
    for (size_t i = 0; i < kOrderCount && i < mod.song.orders.size(); i++)
        header.Byte(kOrdersOffset + i, mod.song.orders[i]);
    header.Text(kTagOffset, mod.tag, 4);
    image.Place(0, header.bytes);

    int channels = std::max(mod.channels, 1);
    std::vector<Pattern> patterns =
        PatternsOf(mod.song, DefaultPattern(kRows, channels, !mod.samples.empty(), kDefaultNote));
    if (mod.song.patterns.empty()) {
        // MOD has no header speed or tempo: the default patterns set them.
        for (Pattern &pattern : patterns) {
            if (channels >= 2)
                pattern.At(0, 1) = Cell{kNoNote, 0, kNoVolume, Effect::Speed, static_cast<uint8_t>(mod.song.speed)};
            if (channels >= 3)
                pattern.At(0, 2) = Cell{kNoNote, 0, kNoVolume, Effect::Tempo, static_cast<uint8_t>(mod.song.tempo)};
        }
    }
    for (const Pattern &pattern : patterns) {
        Bytes data(size_t(kRows) * size_t(channels) * 4, 0);
        for (int row = 0; row < kRows && row < pattern.rows; row++)
            for (int channel = 0; channel < channels && channel < pattern.channels; channel++)
                PutCell(data, (size_t(row) * size_t(channels) + size_t(channel)) * 4, pattern.At(row, channel));
        image.Append(data);
    }
    for (size_t k = 0; k < kSampleRecords && k < mod.samples.size(); k++)
        image.Append(SignedPcm(mod.samples[k].data));
    return image.bytes;
}

} // namespace modwriter
