// The BASS 0.8 entry points, with C linkage and the plug-in's own declarations. No
// exception leaves them: every failure is a 0 result, as the plug-in expects.
#include "bass.h"
#include "cancel_pipe.h"
#include "engine.h"
#include "module_file.h"
#include "music.h"
#include "output.h"
#include "tessel_bass.h"

#include <vector>

using tessel::sound::Engine;

namespace {

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
            if (!tessel::sound::ReadModuleFile(static_cast<const char *>(file), offset, length, data))
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

int TesselBass_SetOutputFile(int kind, int fd)
{
    return Guarded([&]() -> int { return Engine::Instance().SetOutputFile(kind, fd); }, 0);
}

void TesselBass_SetNullBuffer(uint32_t milliseconds)
{
    Engine::Instance().SetNullBuffer(milliseconds);
}

int TesselBass_GetStats(TesselBassStats *stats)
{
    return Engine::Instance().GetStats(stats);
}

void TesselBass_SetOfflineLimit(uint32_t limitMs, int onePass)
{
    Engine::Instance().SetOfflineLimit(limitMs, onePass != 0);
}

uint32_t TesselBass_Pull(uint32_t frames, int *end)
{
    return Guarded([&]() -> uint32_t { return Engine::Instance().Pull(frames, end); }, 0u);
}

int TesselBass_GetOutputError(char *text, uint32_t size)
{
    return Guarded([&]() -> int { return Engine::Instance().GetOutputError(text, size); }, 0);
}

int TesselBass_GetPlaying(TesselBassPlaying *playing)
{
    return Engine::Instance().GetPlaying(playing);
}

void TesselBass_Cancel(void)
{
    // Nothing here may lock or allocate: a signal handler calls it.
    tessel::sound::cancel_pipe::Raise();
}

void TesselBass_WarmUp(void)
{
    Guarded([] { tessel::sound::Music::WarmUp(); return 0; }, 0);
}

} // extern "C"
