// Whether an MO3 holds all the sample data its sample records declare. libopenmpt
// plays one cut short there without a word: a plain or Vorbis sample falls silent
// where (or before) its data ends, a delta-packed one turns to noise. Only the MP3
// decoder complains.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessel::sound {

// True for an MO3 whose music data unpacks and walks whole and whose samples declare
// more data than follows it. Anything else (not an MO3, a header that does not unpack)
// is false: libopenmpt judges those itself.
bool Mo3SampleDataCut(const uint8_t *file, size_t size);

} // namespace tessel::sound
