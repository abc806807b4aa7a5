// Keeping the libraries' own chatter off the user's terminal: a terminal host draws
// over stdout and stderr, so what libopenmpt logs and what ALSA and JACK print while
// PortAudio probes goes nowhere unless TESSEL_SOUND_LOG is set. Both go through the
// libraries' own handlers: fd 2 belongs to every thread of the process, and is never
// touched here.
#pragma once

#include <ostream>
#include <streambuf>

namespace tessel::sound {

// True when TESSEL_SOUND_LOG is set to anything but "" or "0" (read at each call).
bool SoundLogWanted();

// Routes ALSA's and JACK's error printers to nothing, if those libraries are loaded.
void SilenceAudioBackends();

// A log stream for one libopenmpt module: std::clog when the log is wanted, else a
// sink. One per module, since libopenmpt keeps writing to it for the module's life.
class ModuleLog {
public:
    ModuleLog();
    std::ostream &Stream() { return stream_; }

private:
    struct Sink : std::streambuf {
        int overflow(int c) override { return traits_type::not_eof(c); }
        std::streamsize xsputn(const char *, std::streamsize n) override { return n; }
    };
    Sink sink_;
    std::ostream stream_;
};

} // namespace tessel::sound
