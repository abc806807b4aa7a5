// A tune in one neutral form, written out as a FastTracker II XM or an ImpulseTracker
// IT file that trackers and libopenmpt play: the demo modules in samples/ and the
// playable modules of the host's tests come from here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace samplegen {

using Bytes = std::vector<uint8_t>;

// Notes are numbered as XM numbers them: 1 is C-0, 49 is C-4 (middle C), 96 is B-7.
constexpr uint8_t kNoNote = 0;
constexpr uint8_t kNoteOff = 97;
constexpr uint8_t kNoVolume = 0xFF;

// "C-4", "G#3": the XM number of a note name.
uint8_t NoteNumber(const char *name);

struct Cell {
    uint8_t note = kNoNote;
    uint8_t instrument = 0;      // 1-based, 0 = none
    uint8_t volume = kNoVolume;  // 0..64
};

struct Pattern {
    int rows = 64;
    int channels = 0;
    std::vector<Cell> cells; // row by row

    Pattern(int rows, int channels) : rows(rows), channels(channels), cells(size_t(rows) * channels) {}
    Cell &At(int row, int channel) { return cells[size_t(row) * channels + channel]; }
    const Cell &At(int row, int channel) const { return cells[size_t(row) * channels + channel]; }
};

// One sample played at a note: 8-bit signed mono PCM. rate is the rate at which the
// data sounds at its own pitch when middle C is played (XM: relative note; IT: C5 speed).
struct Instrument {
    std::string name;
    std::vector<int8_t> data;
    uint32_t loopStart = 0;
    uint32_t loopLength = 0; // 0: no loop
    uint8_t volume = 64;
    int relativeNote = 0;    // semitones above the 8363 Hz base rate
};

struct Song {
    std::string title;
    std::string message; // IT only; lines separated by "\r"
    int channels = 4;
    int speed = 6;       // ticks per row
    int tempo = 125;     // beats per minute
    std::vector<uint8_t> orders;
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
};

Bytes WriteXm(const Song &song);
Bytes WriteIt(const Song &song);

// The demo tune of samples/ (about 46 seconds, eight channels, seven instruments).
Song DemoSong();
// A short tune for tests: orders order positions, each a pattern of rows rows at
// speed 6, tempo 125 (0.12 s a row), four channels, three instruments.
Song TestSong(const std::string &title, int orders, int rows);

} // namespace samplegen
