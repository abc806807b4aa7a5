// libFuzzer target: the bytes become a music as BASS_MusicLoad makes one, and a tenth of
// a second of it is rendered. Seeded with MO3 files, it reaches libopenmpt's MO3 reader
// and the MP3 and Vorbis decoders behind it: a load may fail, nothing may crash.
#include "music.h"

#include <stdlib.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint32_t rate = 44100, frames = rate / 10;
    std::unique_ptr<tessel::sound::Music> music = tessel::sound::Music::Load(data, size, 0, rate);
    std::vector<float> sound(2 * frames);
    // The name stops at the file's first zero byte; never more frames than asked for.
    if (music && (music->Name().find('\0') != std::string::npos || music->Render(sound.data(), frames) > frames))
        abort();
    return 0;
}
