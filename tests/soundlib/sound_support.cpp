#include "sound_support.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#endif

namespace soundtest {
namespace {

#ifndef _WIN32
size_t EntriesIn(const char *dir)
{
    size_t count = 0;
    if (DIR *d = opendir(dir)) {
        while (dirent *entry = readdir(d))
            count += entry->d_name[0] != '.';
        closedir(d);
    }
    return count;
}
#endif

} // namespace

Tune ShortSong()
{
    return TestSong("Tessel Short", kShortOrders, 16, 1, 250);
}

std::vector<float> ReferenceRender(const std::vector<uint8_t> &module, uint32_t rate)
{
    openmpt::module reference(module);
    std::vector<float> samples;
    std::vector<float> buffer(2 * 1024);
    while (size_t frames = reference.read_interleaved_stereo(int32_t(rate), 1024, buffer.data()))
        samples.insert(samples.end(), buffer.begin(), buffer.begin() + 2 * frames);
    return samples;
}

bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds limit)
{
    auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void PlayThroughLibrary(const std::vector<uint8_t> &module, const PlayOptions &options)
{
    if (!BASS_Init(-1, options.freq, options.devflags, nullptr)) {
        ADD_FAILURE() << "expected BASS_Init to open the output";
        return;
    }
    BASS_Start();
    HMUSIC music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), options.modflags);
    EXPECT_NE(0u, music) << "expected the module to load";
    BASS_ChannelSetAttributes(music, options.channelFreq, options.volume, options.pan);
    EXPECT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; })) << "expected the music to end";
    BASS_Free();
}

Wav RenderThroughLibrary(const std::vector<uint8_t> &module, const std::string &wavPath, const PlayOptions &options)
{
    EXPECT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, wavPath.c_str()));
    PlayThroughLibrary(module, options);
    TesselBass_SetOutput(TESSEL_OUTPUT_DEVICE, nullptr);
    return ReadWav(wavPath);
}

void SetOutputVariable(const std::string &value)
{
#ifdef _WIN32
    SetEnvironmentVariableA("TESSEL_OUTPUT", value.c_str());
#else
    setenv("TESSEL_OUTPUT", value.c_str(), 1);
#endif
}

bool MakePipe(int ends[2])
{
#ifdef _WIN32
    return _pipe(ends, 1 << 16, O_BINARY) == 0;
#else
    return pipe2(ends, O_CLOEXEC) == 0;
#endif
}

#ifdef _WIN32
size_t OpenDescriptorCount()
{
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    return handles;
}

size_t ThreadCount()
{
    size_t count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}
#else
size_t OpenDescriptorCount()
{
    return EntriesIn("/proc/self/fd");
}

size_t ThreadCount()
{
    return EntriesIn("/proc/self/task");
}
#endif

} // namespace soundtest
