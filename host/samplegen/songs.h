// The demo tune of samples/ and the short tunes of the host's tests, as the module
// writer's tunes; tessel-samplegen writes the demo as XM and IT.
#pragma once

#include "modwriter/mo3_writer.h"

#include <string>

namespace samplegen {

// The demo tune of samples/ (about 46 seconds, eight channels, seven instruments).
modwriter::Tune DemoSong();
// The MO3 demos' tune (about 15 seconds: the demo's first verse and its outro), its
// waveforms long enough for a lossy codec.
modwriter::Tune Mo3DemoSong();
// A short tune for tests: orders order positions, each a pattern of rows rows at
// speed 6, tempo 125 (0.12 s a row), four channels, three instruments.
modwriter::Tune TestSong(const std::string &title, int orders, int rows);

} // namespace samplegen
