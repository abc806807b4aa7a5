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

uint32_t Le(const std::vector<uint8_t> &bytes, size_t at, int width)
{
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | bytes[at + i];
    return value;
}

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

double Wav::Rms(uint32_t channel, size_t from, size_t to) const
{
    to = std::min(to, Frames());
    if (from >= to)
        return 0.0;
    double sum = 0.0;
    for (size_t frame = from; frame < to; ++frame) {
        double v = samples[frame * channels + channel];
        sum += v * v;
    }
    return std::sqrt(sum / double(to - from));
}

Wav ReadWav(const std::string &path)
{
    Wav wav;
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (bytes.size() < 44 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF" ||
        std::string(bytes.begin() + 8, bytes.begin() + 16) != "WAVEfmt " ||
        std::string(bytes.begin() + 36, bytes.begin() + 40) != "data") {
        ADD_FAILURE() << "expected a canonical WAV file at " << path << ", got " << bytes.size() << " bytes";
        return wav;
    }
    EXPECT_EQ(1u, Le(bytes, 20, 2)) << "format tag of " << path;
    wav.channels = Le(bytes, 22, 2);
    wav.rate = Le(bytes, 24, 4);
    wav.blockAlign = Le(bytes, 32, 2);
    wav.bits = Le(bytes, 34, 2);
    wav.declaredBytes = Le(bytes, 40, 4);
    EXPECT_EQ(bytes.size() - 8, Le(bytes, 4, 4)) << "RIFF size of " << path;
    EXPECT_EQ(wav.rate * wav.blockAlign, Le(bytes, 28, 4)) << "bytes per second of " << path;
    wav.data.assign(bytes.begin() + 44, bytes.end());
    if (wav.bits == 16) {
        for (size_t i = 0; i + 1 < wav.data.size(); i += 2)
            wav.samples.push_back(float(int16_t(Le(wav.data, i, 2))) / 32768.0f);
    } else {
        for (uint8_t sample : wav.data)
            wav.samples.push_back(float(int(sample) - 128) / 128.0f);
    }
    return wav;
}

ScratchDir::ScratchDir()
{
    // A name nobody has taken: create_directory fails on one that exists.
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("tessel-sound-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(path, error)) {
            dir_ = path.string();
            return;
        }
    }
    throw std::runtime_error("no scratch directory");
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

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

std::vector<uint8_t> ReadFileBytes(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
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
