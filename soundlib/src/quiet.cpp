#include "quiet.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <iostream>

namespace tessel::sound {

bool SoundLogWanted()
{
    const char *value = std::getenv("TESSEL_SOUND_LOG");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

namespace {

void IgnoreAlsa(const char *, int, const char *, int, const char *, ...)
{
}
void IgnoreJack(const char *)
{
}

} // namespace

void SilenceAudioBackends()
{
    if (SoundLogWanted())
        return;
    // Only libraries PortAudio already pulled in: RTLD_NOLOAD never loads anything.
    using AlsaHandler = void (*)(const char *, int, const char *, int, const char *, ...);
    if (void *alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD)) {
        using SetAlsa = int (*)(AlsaHandler);
        if (auto set = reinterpret_cast<SetAlsa>(dlsym(alsa, "snd_lib_error_set_handler")))
            set(IgnoreAlsa);
        dlclose(alsa);
    }
    if (void *jack = dlopen("libjack.so.0", RTLD_LAZY | RTLD_NOLOAD)) {
        using SetJack = void (*)(void (*)(const char *));
        if (auto set = reinterpret_cast<SetJack>(dlsym(jack, "jack_set_error_function")))
            set(IgnoreJack);
        if (auto set = reinterpret_cast<SetJack>(dlsym(jack, "jack_set_info_function")))
            set(IgnoreJack);
        dlclose(jack);
    }
}

ModuleLog::ModuleLog() : stream_(SoundLogWanted() ? std::clog.rdbuf() : &sink_)
{
}

} // namespace tessel::sound
