// Whether an MO3's sample data is broken in a way libopenmpt does not catch: cut short
// of what the sample records declare (libopenmpt plays it without a word, a plain or
// Vorbis sample falling silent where, or before, its data ends and a delta-packed one
// turning to noise; only the MP3 decoder complains), or a Vorbis sample that shares
// another's headers and whose data does not start with a whole Ogg page (libopenmpt
// 0.6 crashes on one that holds no page).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessel::sound {

// True for an MO3 whose music data unpacks and walks whole and whose sample data is
// broken so. Anything else (not an MO3, a header that does not unpack) is false:
// libopenmpt judges those itself.
bool Mo3SampleDataBroken(const uint8_t *file, size_t size);

} // namespace tessel::sound
