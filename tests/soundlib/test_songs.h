// The songs the sound-library tests play, written by the module writer: one looped
// square-wave sample, a few channels, patterns of 64 rows, in any of the four formats.
#pragma once

#include "modwriter/module_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace soundtest {

using modwriter::Tune;

// A song of orderCount orders, each its own pattern of rowsPerOrder rows (2 to 64,
// shorter ones end with a pattern break), speed and tempo set on every first row.
// Channel 0 plays the square wave at middle C from the first row, channel 1 an octave
// higher: the sound never stops, both sides of a MOD's hard stereo carry it, and the
// two sides differ.
Tune TestSong(const std::string &name, int orderCount, int rowsPerOrder, int speed, int tempo);

// Frames the song lasts at a rate (rows * speed ticks of 2.5 / tempo seconds).
uint64_t SongFrames(int orderCount, int rowsPerOrder, int speed, int tempo, uint32_t rate);

// The XM with its sample compressed as OggMod writes it, in an Ogg stream that no
// Vorbis decoder can read: a module with a sample nothing can decode.
std::vector<uint8_t> WriteOggXm(const Tune &song);

void SaveFile(const std::string &path, const std::vector<uint8_t> &bytes);

} // namespace soundtest
