// Shared by the four builders: a file image that grows as pieces are placed in it,
// small records written field by field, and what every format derives from a song.
#pragma once

#include "module_writer.h"

namespace modwriter {

class Image {
public:
    Bytes bytes;

    // The end of the image, rounded up to a multiple of align.
    size_t End(size_t align = 1) const { return (bytes.size() + align - 1) / align * align; }
    // Writes piece at offset, growing the image as needed.
    void Place(size_t offset, const Bytes &piece);
    // Writes piece at the end (aligned) and returns where it went.
    size_t Append(const Bytes &piece, size_t align = 1);
};

// A small record under construction, written field by field.
class Record {
public:
    explicit Record(size_t size) : bytes(size, 0) {}
    Record &Byte(size_t offset, uint8_t value);
    Record &Le16(size_t offset, uint16_t value);
    Record &Le32(size_t offset, uint32_t value);
    Record &Text(size_t offset, const std::string &text, size_t width);
    Bytes bytes;
};

// Signed PCM as unsigned (S3M), as deltas (XM) and as it is (MOD, IT).
Bytes UnsignedPcm(const std::vector<int8_t> &data);
Bytes DeltaPcm(const std::vector<int8_t> &data);
Bytes SignedPcm(const std::vector<int8_t> &data);

// The loop as start and length in samples; length 0 without a loop.
struct Loop {
    uint32_t start = 0;
    uint32_t length = 0;
};
Loop LoopOf(const Sample &sample);
// The rate at which a sample sounds at its own pitch at middle C (S3M C2, IT C5 speed).
uint32_t MiddleCRate(const Sample &sample);

// What a builder writes when the song has no patterns: rows rows of channels, with
// note on channel 0 played by sample 1 when withNote.
Pattern DefaultPattern(int rows, int channels, bool withNote, uint8_t note = kMiddleC);
// The song's patterns, or as many default ones as its orders ask for (markers aside).
std::vector<Pattern> PatternsOf(const Song &song, const Pattern &fallback);

// Effect numbers: ProTracker's (MOD, XM) and ScreamTracker's letters (S3M, IT; A = 1).
struct EffectCode {
    uint8_t command = 0;
    uint8_t param = 0;
};
EffectCode ProTrackerEffect(const Cell &cell);
EffectCode ScreamTrackerEffect(const Cell &cell);

} // namespace modwriter
