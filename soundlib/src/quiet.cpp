#include "quiet.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <iostream>
#include <mutex>
#include <unistd.h>

namespace tessel::sound {

bool SoundLogWanted()
{
    const char *value = std::getenv("TESSEL_SOUND_LOG");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

namespace {

std::mutex redirectLock;
int redirectDepth = 0;
int savedStderr = -1;

void IgnoreAlsa(const char *, int, const char *, int, const char *, ...) {}
void IgnoreJack(const char *) {}

} // namespace

QuietStderr::QuietStderr()
{
    if (SoundLogWanted())
        return;
    std::lock_guard<std::mutex> lock(redirectLock);
    if (redirectDepth == 0) {
        int sink = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (sink < 0)
            return;
        std::fflush(stderr);
        savedStderr = fcntl(2, F_DUPFD_CLOEXEC, 3);
        if (savedStderr < 0) {
            close(sink);
            return;
        }
        dup2(sink, 2);
        close(sink);
    }
    ++redirectDepth;
    active_ = true;
}

QuietStderr::~QuietStderr()
{
    if (!active_)
        return;
    std::lock_guard<std::mutex> lock(redirectLock);
    if (--redirectDepth == 0) {
        std::fflush(stderr);
        dup2(savedStderr, 2);
        close(savedStderr);
        savedStderr = -1;
    }
}

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

ModuleLog::ModuleLog() : stream_(SoundLogWanted() ? std::clog.rdbuf() : &sink_) {}

} // namespace tessel::sound
