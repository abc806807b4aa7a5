// libFuzzer target: the bytes become a music as BASS_MusicLoad makes one, and a moment
// of it is rendered. Seeded with MO3 files (plain, MP3 and Vorbis samples, cut short,
// with broken Ogg pages and MP3 frames), it reaches libopenmpt's MO3 reader and the
// decoders behind it: a load may fail, but nothing may crash or read out of bounds.
#include "music.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

namespace {

const uint32_t kRate = 44100;
const uint32_t kFrames = kRate / 10;

void Check(bool holds, const char *what)
{
    if (!holds) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::unique_ptr<tessel::sound::Music> music = tessel::sound::Music::Load(data, size, 0, kRate);
    if (!music)
        return 0;
    Check(music->Name().find('\0') == std::string::npos, "the name ends at its first zero byte");
    Check(music->LengthMs() == 0 || music->LengthSeconds() > 0, "a length in ms has one in seconds");
    std::vector<float> sound(2 * kFrames);
    Check(music->Render(sound.data(), kFrames) <= kFrames, "no more frames than asked for");
    return 0;
}
