// What the sound-library tests share: a scratch directory, the WAV files the library
// writes, a reference render straight from libopenmpt, and playing a module through
// the library from Init to Free.
#pragma once

#include "soundlib/include/bass.h"
#include "test_songs.h"
#include "tessel_bass.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h> // the C runtime's open, read, write and close, as on POSIX
#else
#include <unistd.h>
#endif
#include <fcntl.h>

namespace soundtest {

struct Wav {
    uint32_t rate = 0;
    uint32_t channels = 0;
    uint32_t bits = 0;
    uint32_t blockAlign = 0;
    uint32_t declaredBytes = 0; // the data chunk's size field
    std::vector<uint8_t> data;  // the data chunk as found in the file
    std::vector<float> samples; // interleaved, scaled to -1..1

    size_t Frames() const { return channels ? samples.size() / channels : 0; }
    // Root mean square of one channel over frames [from, to).
    double Rms(uint32_t channel, size_t from = 0, size_t to = SIZE_MAX) const;
};

// Reads a canonical WAV file; fails the test (and returns an empty Wav) otherwise.
Wav ReadWav(const std::string &path);

// A fresh directory under the system's temporary directory, removed at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    std::string Path(const std::string &name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
};

// The song that most tests play: 4 orders of 16 rows at speed 1 and 250 BPM (0.64 s).
Tune ShortSong();
constexpr uint32_t kShortOrders = 4;

// libopenmpt's own interleaved stereo float render of a whole module with its default
// settings, which are those the library uses for modflags BASS_MUSIC_RAMPS.
std::vector<float> ReferenceRender(const std::vector<uint8_t> &module, uint32_t rate);

// Waits until done() holds or the time is up; returns done().
bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds limit = std::chrono::seconds(10));

struct PlayOptions {
    uint32_t freq = 44100;
    DWORD devflags = 0;
    DWORD modflags = BASS_MUSIC_RAMPS;
    // Applied between load and play.
    int volume = -1;
    int pan = -1;
    int channelFreq = -1;
};

// Plays a whole module through the output chosen already: Init, Start, Load, the
// options' attributes, PlayEx, wait for the end, Free.
void PlayThroughLibrary(const std::vector<uint8_t> &module, const PlayOptions &options = PlayOptions());
// The same to a WAV file, read back.
Wav RenderThroughLibrary(const std::vector<uint8_t> &module, const std::string &wavPath,
                         const PlayOptions &options = PlayOptions());

// Sets TESSEL_OUTPUT in the process's environment block, where a host would put it:
// on Windows not through the C runtime, whose copy the library must not read.
void SetOutputVariable(const std::string &value);

// A pipe as a host holds it (the C runtime's on Windows); ends[0] reads.
bool MakePipe(int ends[2]);
std::vector<uint8_t> ReadFileBytes(const std::string &path);
// The little-endian 32-bit word at a byte offset (a WAV header's sizes); 0 past the end.
inline uint32_t Word32(const std::vector<uint8_t> &bytes, size_t at)
{
    return bytes.size() < at + 4 ? 0 : bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
}

// Open file descriptors and threads of this process, for leak checks.
size_t OpenDescriptorCount();
size_t ThreadCount();

} // namespace soundtest
