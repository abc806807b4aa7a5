// Writes small modules for the sound-library tests: one looped square-wave sample,
// a few channels, patterns of 64 rows, in MOD, S3M, XM or IT layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soundtest {

enum class Effect { None, Speed, Tempo, Break };

struct Cell {
    int note = 0;       // 0 none, 1 the sample's own pitch, 2 an octave up
    int instrument = 0; // 0 none, 1 the square wave
    Effect effect = Effect::None;
    int param = 0;      // speed, tempo (BPM) or the row to break to
};

constexpr int kRows = 64;

struct Pattern {
    int channels = 4;
    std::vector<Cell> cells = std::vector<Cell>(kRows * 4);
    Cell &At(int row, int channel) { return cells[row * channels + channel]; }
    const Cell &At(int row, int channel) const { return cells[row * channels + channel]; }
};

// Order entries of S3M and IT beside pattern numbers.
constexpr int kOrderSkip = -2; // "+++"
constexpr int kOrderEnd = -1;  // "---"

struct Song {
    std::string name;
    int channels = 4;
    int speed = 6;   // initial ticks per row (S3M, XM, IT headers; MOD starts at 6)
    int tempo = 125; // initial BPM (likewise; MOD starts at 125)
    std::vector<int> orders;
    std::vector<Pattern> patterns;
};

// A song of orderCount orders, each its own pattern of rowsPerOrder rows (2 to 64,
// shorter ones end with a pattern break), speed and tempo set on every first row.
// Channel 0 plays the square wave at the sample's pitch from the first row, channel 1
// an octave higher: the sound never stops, both sides of a MOD's hard stereo carry it,
// and the two sides differ.
Song TestSong(const std::string &name, int orderCount, int rowsPerOrder, int speed, int tempo);

// Frames the song lasts at a rate (rows * speed ticks of 2.5 / tempo seconds).
uint64_t SongFrames(int orderCount, int rowsPerOrder, int speed, int tempo, uint32_t rate);

std::vector<uint8_t> WriteMod(const Song &song);
std::vector<uint8_t> WriteS3m(const Song &song);
std::vector<uint8_t> WriteXm(const Song &song);
std::vector<uint8_t> WriteIt(const Song &song);
// The XM with its sample compressed as OggMod writes it, in an Ogg stream that no
// Vorbis decoder can read: a module with a sample nothing can decode.
std::vector<uint8_t> WriteOggXm(const Song &song);

void SaveFile(const std::string &path, const std::vector<uint8_t> &bytes);

} // namespace soundtest
