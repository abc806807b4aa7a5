// The BASS 0.8 entry points, with C linkage and the plug-in's own declarations. No
// exception leaves them: every failure is a 0 result, as the plug-in expects.
#include "bass.h"
#include "engine.h"
#include "output.h"
#include "tessel_bass.h"

#include <cstdio>
#include <vector>

using tessel::sound::Engine;

namespace {

// Modules larger than this are refused rather than read into memory.
constexpr long kMaxModuleBytes = 1L << 30;

// The whole file from offset on, or length bytes of it (length 0: to the end).
bool ReadModuleFile(const char *path, DWORD offset, DWORD length, std::vector<unsigned char> &data)
{
    std::FILE *file = std::fopen(path, "rbe");
    if (file == nullptr)
        return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(file) : -1;
    ok = size >= 0 && long(offset) <= size && std::fseek(file, long(offset), SEEK_SET) == 0;
    long available = ok ? size - long(offset) : 0;
    long wanted = length == 0 ? available : std::min<long>(long(length), available);
    ok = ok && wanted > 0 && wanted <= kMaxModuleBytes;
    if (ok) {
        data.resize(size_t(wanted));
        ok = std::fread(data.data(), 1, data.size(), file) == data.size();
    }
    std::fclose(file);
    return ok;
}

template <typename Call> auto Guarded(Call call, decltype(call()) failure) -> decltype(call())
{
    try {
        return call();
    } catch (...) {
        return failure;
    }
}

} // namespace

extern "C" {

DWORD WINAPI BASS_GetVersion(void)
{
    return BASS_VERSION_08;
}

BOOL WINAPI BASS_GetDeviceDescription(int device, char **description)
{
    return Guarded(
        [&]() -> BOOL {
            if (description == nullptr)
                return FALSE;
            const char *text = tessel::sound::DeviceDescription(device);
            if (text == nullptr)
                return FALSE;
            *description = const_cast<char *>(text);
            return TRUE;
        },
        FALSE);
}

BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND)
{
    return Guarded([&]() -> BOOL { return Engine::Instance().Init(device, freq, flags); }, FALSE);
}

BOOL WINAPI BASS_Start(void)
{
    return Engine::Instance().Start();
}

BOOL WINAPI BASS_Pause(void)
{
    return Engine::Instance().Pause();
}

BOOL WINAPI BASS_Stop(void)
{
    return Engine::Instance().Stop();
}

void WINAPI BASS_Free(void)
{
    Guarded([] { Engine::Instance().Free(); return 0; }, 0);
}

HMUSIC WINAPI BASS_MusicLoad(BOOL memory, const void *file, DWORD offset, DWORD length, DWORD flags)
{
    return Guarded(
        [&]() -> HMUSIC {
            if (file == nullptr)
                return 0;
            if (memory)
                return length == 0 ? 0 : Engine::Instance().LoadMusic(file, length, flags);
            std::vector<unsigned char> data;
            if (!ReadModuleFile(static_cast<const char *>(file), offset, length, data))
                return 0;
            return Engine::Instance().LoadMusic(data.data(), data.size(), flags);
        },
        0);
}

BOOL WINAPI BASS_MusicPlayEx(HMUSIC music, DWORD position, int, BOOL)
{
    // The flags and reset words are accepted as the plug-in passes them: the load
    // flags stay in force, and a start always resets the music's playing state.
    return Engine::Instance().PlayMusic(music, position);
}

void WINAPI BASS_MusicFree(HMUSIC music)
{
    Engine::Instance().FreeMusic(music);
}

char *WINAPI BASS_MusicGetName(HMUSIC music)
{
    return const_cast<char *>(Engine::Instance().MusicName(music));
}

DWORD WINAPI BASS_MusicGetLength(HMUSIC music)
{
    return Engine::Instance().MusicLength(music);
}

DWORD WINAPI BASS_ChannelGetPosition(DWORD handle)
{
    return Engine::Instance().MusicPosition(handle);
}

BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, DWORD position)
{
    return Engine::Instance().SetMusicPosition(handle, position);
}

BOOL WINAPI BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan)
{
    return Engine::Instance().SetMusicAttributes(handle, freq, volume, pan);
}

DWORD WINAPI BASS_ChannelIsActive(DWORD handle)
{
    return Engine::Instance().MusicActive(handle);
}

int TesselBass_SetOutput(int kind, const char *wavPath)
{
    return Guarded([&]() -> int { return Engine::Instance().SetOutput(kind, wavPath); }, 0);
}

void TesselBass_SetNullBuffer(uint32_t milliseconds)
{
    Engine::Instance().SetNullBuffer(milliseconds);
}

int TesselBass_GetStats(TesselBassStats *stats)
{
    return Engine::Instance().GetStats(stats);
}

int TesselBass_GetPlaying(TesselBassPlaying *playing)
{
    return Engine::Instance().GetPlaying(playing);
}

} // extern "C"
