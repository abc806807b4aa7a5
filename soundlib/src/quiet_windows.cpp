// On Windows nothing probes the sound system behind the host's back: only libopenmpt's
// log needs keeping quiet, unless TESSEL_SOUND_LOG asks for it.
#include "quiet.h"

#include <windows.h>

#include <cstring>
#include <iostream>

namespace tessel::sound {

bool SoundLogWanted()
{
    char value[16];
    DWORD length = GetEnvironmentVariableA("TESSEL_SOUND_LOG", value, sizeof value);
    if (length == 0)
        return false;
    return length >= sizeof value || std::strcmp(value, "0") != 0; // too long to be "0"
}

ModuleLog::ModuleLog() : stream_(SoundLogWanted() ? std::clog.rdbuf() : &sink_)
{
}

} // namespace tessel::sound
