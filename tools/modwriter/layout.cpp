#include "layout.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace modwriter {

void PutByte(Bytes &file, size_t offset, uint8_t value)
{
    if (file.size() <= offset)
        file.resize(offset + 1, 0);
    file[offset] = value;
}

void PutLe16(Bytes &file, size_t offset, uint16_t value)
{
    PutByte(file, offset, value & 0xFF);
    PutByte(file, offset + 1, value >> 8);
}

void PutLe32(Bytes &file, size_t offset, uint32_t value)
{
    PutLe16(file, offset, value & 0xFFFF);
    PutLe16(file, offset + 2, value >> 16);
}

uint16_t Le16At(const Bytes &file, size_t offset)
{
    return file.size() < offset + 2 ? 0 : uint16_t(file[offset] | file[offset + 1] << 8);
}

uint32_t Le32At(const Bytes &file, size_t offset)
{
    return file.size() < offset + 4 ? 0 : Le16At(file, offset) | uint32_t(Le16At(file, offset + 2)) << 16;
}

void PutBe16(Bytes &file, size_t offset, uint16_t value)
{
    PutByte(file, offset, value >> 8);
    PutByte(file, offset + 1, value & 0xFF);
}

void PutText(Bytes &file, size_t offset, const std::string &text, size_t width)
{
    for (size_t i = 0; i < width; i++)
        PutByte(file, offset + i, i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

Bytes Truncated(const Bytes &file, size_t size)
{
    return Bytes(file.begin(), file.begin() + std::min(size, file.size()));
}

uint8_t NoteNumber(const char *name)
{
    static const char letters[] = "C-C#D-D#E-F-F#G-G#A-A#B-";
    for (int semitone = 0; semitone < 12; ++semitone)
        if (std::strncmp(name, letters + 2 * semitone, 2) == 0 && name[2] >= '0' && name[2] <= '7')
            return uint8_t((name[2] - '0') * 12 + semitone + 1);
    throw std::invalid_argument(std::string("not a note: ") + name);
}

Sample SquareSample(const std::string &name, size_t length, size_t period, int8_t level)
{
    Sample sample;
    sample.name = name;
    for (size_t i = 0; i < length; i++)
        sample.data.push_back(i % period < period / 2 ? level : int8_t(-level));
    sample.loop = true;
    return sample;
}

std::vector<Sample> NamedSamples(const std::vector<std::string> &names)
{
    std::vector<Sample> samples;
    for (const std::string &name : names) {
        Sample sample;
        sample.name = name;
        samples.push_back(sample);
    }
    return samples;
}

void Image::Place(size_t offset, const Bytes &piece)
{
    if (bytes.size() < offset + piece.size())
        bytes.resize(offset + piece.size(), 0);
    std::copy(piece.begin(), piece.end(), bytes.begin() + offset);
}

size_t Image::Append(const Bytes &piece, size_t align)
{
    size_t offset = End(align);
    Place(offset, piece);
    return offset;
}

Record &Record::Byte(size_t offset, uint8_t value)
{
    PutByte(bytes, offset, value);
    return *this;
}

Record &Record::Le16(size_t offset, uint16_t value)
{
    PutLe16(bytes, offset, value);
    return *this;
}

Record &Record::Le32(size_t offset, uint32_t value)
{
    PutLe32(bytes, offset, value);
    return *this;
}

Record &Record::Text(size_t offset, const std::string &text, size_t width)
{
    PutText(bytes, offset, text, width);
    return *this;
}

Bytes UnsignedPcm(const std::vector<int8_t> &data)
{
    Bytes out;
    for (int8_t value : data)
        out.push_back(static_cast<uint8_t>(value) ^ 0x80);
    return out;
}

Bytes DeltaPcm(const std::vector<int8_t> &data)
{
    Bytes out;
    uint8_t previous = 0;
    for (int8_t value : data) {
        out.push_back(static_cast<uint8_t>(static_cast<uint8_t>(value) - previous));
        previous = static_cast<uint8_t>(value);
    }
    return out;
}

Bytes SignedPcm(const std::vector<int8_t> &data)
{
    return Bytes(data.begin(), data.end());
}

Loop LoopOf(const Sample &sample)
{
    if (!sample.loop)
        return Loop{};
    uint32_t length = static_cast<uint32_t>(sample.data.size());
    return Loop{sample.loopStart, sample.loopLength ? sample.loopLength : length - std::min(length, sample.loopStart)};
}

uint32_t MiddleCRate(const Sample &sample)
{
    // Whole semitones only: the tempered ratio applied step by step.
    double rate = 8363;
    for (int i = 0; i < sample.relativeNote; ++i)
        rate *= 1.0594630943592953;
    for (int i = 0; i > sample.relativeNote; --i)
        rate /= 1.0594630943592953;
    return uint32_t(rate + 0.5);
}

Pattern DefaultPattern(int rows, int channels, bool withNote, uint8_t note)
{
    Pattern pattern(rows, std::max(channels, 1));
    if (withNote) {
        pattern.At(0, 0).note = note;
        pattern.At(0, 0).instrument = 1;
    }
    return pattern;
}

std::vector<Pattern> PatternsOf(const Song &song, const Pattern &fallback)
{
    if (!song.patterns.empty())
        return song.patterns;
    size_t count = 1;
    for (uint8_t order : song.orders)
        if (order < kOrderSkip)
            count = std::max<size_t>(count, order + 1u);
    return std::vector<Pattern>(count, fallback);
}

EffectCode ProTrackerEffect(const Cell &cell)
{
    switch (cell.effect) {
    case Effect::None:
        return EffectCode{};
    case Effect::Speed:
    case Effect::Tempo:
        return EffectCode{0x0F, cell.param}; // below 32 the speed, from 32 the tempo
    case Effect::Break:
        return EffectCode{0x0D, uint8_t(cell.param / 10 * 16 + cell.param % 10)}; // row in BCD
    case Effect::Jump:
        return EffectCode{0x0B, cell.param};
    }
    return EffectCode{};
}

EffectCode ScreamTrackerEffect(const Cell &cell)
{
    switch (cell.effect) {
    case Effect::None:
        return EffectCode{};
    case Effect::Speed:
        return EffectCode{'A' - '@', cell.param};
    case Effect::Tempo:
        return EffectCode{'T' - '@', cell.param};
    case Effect::Break:
        return EffectCode{'C' - '@', cell.param};
    case Effect::Jump:
        return EffectCode{'B' - '@', cell.param};
    }
    return EffectCode{};
}

} // namespace modwriter
