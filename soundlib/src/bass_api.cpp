// The BASS 0.8 entry points, with C linkage and the plug-in's own declarations. No
// exception leaves them: every failure is a 0 result, as the plug-in expects.
#include "bass.h"
#include "cancel_pipe.h"
#include "file_facts.h"
#include "live_session.h"
#include "module_file.h"
#include "music.h"
#include "output.h"
#include "tessel_bass.h"

#include <vector>

namespace live_session = tessel::sound::live_session;
using tessel::sound::Music;
using tessel::sound::Session;

namespace {

template <typename Call>
auto Guarded(Call call, decltype(call()) failure) -> decltype(call())
{
    try {
        return call();
    } catch (...) {
        return failure;
    }
}

// Calls the live session; failure when there is none.
template <typename Call, typename Result>
Result WithSession(Call call, Result failure)
{
    return Guarded(
        [&]() -> Result {
            std::shared_ptr<Session> session = live_session::Get();
            return session ? Result(call(*session)) : failure;
        },
        failure);
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
    return Guarded([&]() -> BOOL { return live_session::Init(device, freq, flags); }, FALSE);
}

BOOL WINAPI BASS_Start(void)
{
    return WithSession([](Session &s) { return s.Start(); }, FALSE);
}

BOOL WINAPI BASS_Pause(void)
{
    return WithSession([](Session &s) { return s.Pause(); }, FALSE);
}

BOOL WINAPI BASS_Stop(void)
{
    return WithSession([](Session &s) { return s.Stop(); }, FALSE);
}

void WINAPI BASS_Free(void)
{
    Guarded(
        [] {
            live_session::Free();
            return 0;
        },
        0);
}

HMUSIC WINAPI BASS_MusicLoad(BOOL memory, const void *file, DWORD offset, DWORD length, DWORD flags)
{
    return Guarded(
        [&]() -> HMUSIC {
            if (file == nullptr)
                return 0;
            if (memory)
                return length == 0
                           ? 0
                           : WithSession([&](Session &s) { return s.LoadMusic(file, length, flags); }, HMUSIC(0));
            const char *path = static_cast<const char *>(file);
            // Taken before the read: a file that changes meanwhile is another file.
            tessel::sound::FileIdentity before;
            const bool whole = offset == 0 && length == 0 && tessel::sound::IdentityOf(path, before);
            std::vector<unsigned char> data;
            if (!tessel::sound::ReadModuleFile(path, offset, length, data))
                return 0;
            return WithSession(
                [&](Session &s) {
                    return s.LoadMusic(data.data(), data.size(), flags, [&](const Music &music) {
                        if (whole)
                            tessel::sound::RememberLoadedFile(path, before, music);
                    });
                },
                HMUSIC(0));
        },
        0);
}

BOOL WINAPI BASS_MusicPlayEx(HMUSIC music, DWORD position, int, BOOL)
{
    // The flags and reset words are accepted as the plug-in passes them: the load
    // flags stay in force, and a start always resets the music's playing state.
    return WithSession([&](Session &s) { return s.PlayMusic(music, position); }, FALSE);
}

void WINAPI BASS_MusicFree(HMUSIC music)
{
    WithSession([&](Session &s) { return s.FreeMusic(music); }, false);
}

char *WINAPI BASS_MusicGetName(HMUSIC music)
{
    return const_cast<char *>(
        WithSession([&](Session &s) { return s.MusicName(music); }, static_cast<const char *>(nullptr)));
}

DWORD WINAPI BASS_MusicGetLength(HMUSIC music)
{
    return WithSession([&](Session &s) { return s.MusicLength(music); }, DWORD(0));
}

DWORD WINAPI BASS_ChannelGetPosition(DWORD handle)
{
    return WithSession([&](Session &s) { return s.MusicPosition(handle); }, DWORD(0));
}

BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, DWORD position)
{
    return WithSession([&](Session &s) { return s.SetMusicPosition(handle, position); }, FALSE);
}

BOOL WINAPI BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan)
{
    return WithSession([&](Session &s) { return s.SetMusicAttributes(handle, freq, volume, pan); }, FALSE);
}

DWORD WINAPI BASS_ChannelIsActive(DWORD handle)
{
    return WithSession([&](Session &s) { return s.MusicActive(handle); }, DWORD(0));
}

int TesselBass_SetOutput(int kind, const char *wavPath)
{
    return Guarded([&]() -> int { return live_session::SetOutput(kind, wavPath); }, 0);
}

int TesselBass_SetOutputFile(int kind, int fd)
{
    return Guarded([&]() -> int { return live_session::SetOutputFile(kind, fd); }, 0);
}

void TesselBass_SetNullBuffer(uint32_t milliseconds)
{
    live_session::SetNullBuffer(milliseconds);
}

int TesselBass_GetStats(TesselBassStats *stats)
{
    return WithSession([&](Session &s) { return s.GetStats(stats); }, 0);
}

void TesselBass_SetOfflineLimit(uint32_t limitMs, int onePass)
{
    live_session::SetOfflineLimit(limitMs, onePass != 0);
}

uint32_t TesselBass_Pull(uint32_t frames, int *end)
{
    if (end != nullptr)
        *end = TESSEL_END_NONE;
    return WithSession([&](Session &s) { return s.Pull(frames, end); }, 0u);
}

int TesselBass_GetOutputError(char *text, uint32_t size)
{
    return Guarded([&]() -> int { return live_session::GetOutputError(text, size); }, 0);
}

int TesselBass_GetPlaying(TesselBassPlaying *playing)
{
    return WithSession([&](Session &s) { return s.GetPlaying(playing); }, 0);
}

void TesselBass_Cancel(void)
{
    // Nothing here may lock or allocate: a signal handler calls it.
    tessel::sound::cancel_pipe::Raise();
}

void TesselBass_WarmUp(void)
{
    Guarded(
        [] {
            tessel::sound::Music::WarmUp();
            return 0;
        },
        0);
}

} // extern "C"
