// Playback of one module at a time, and the monitor thread that tells the host's
// window when the module has ended.
#include "plugin/playback.h"

#include "modinfo/module_info.h"
#include "plugin/plugin.h"
#include "settings/settings.h"

#include <string.h>

#include <filesystem>

// Posted, both parameters 0, on every pass after the music has ended.
#define WM_MODULE_ENDED (WM_USER + 2)
#define MONITOR_PASS_MS 20

PlaybackState playbackState = {
    {0}, // music
    {0}, // paused
    {0}, // stopRequested
    INVALID_HANDLE_VALUE,
    FALSE,
    100, // volume: the host's scale, until it sets one
    "",
    "",
};

// Both '\' and the platform's own separator end a directory part: '\' alone on
// Windows, '\' and '/' on POSIX.
static BOOL IsSeparator(char c)
{
    return c == '\\' || c == static_cast<char>(std::filesystem::path::preferred_separator);
}

const char *FileNamePart(const char *path)
{
    const char *part = path;
    for (const char *c = path; *c; ++c)
        if (IsSeparator(*c))
            part = c + 1;
    return part;
}

void CopyBounded(char *destination, const char *source, size_t size)
{
    size_t length = strlen(source);
    if (length > size - 1)
        length = size - 1;
    memcpy(destination, source, length);
    destination[length] = '\0';
}

// A path too long for the buffer keeps its end behind "...": the file name part
// (at most 255 characters on any POSIX file system) survives whole, so the title
// built from it is still right.
static void CopyPath(char *destination, const char *path)
{
    static const char cut[] = "...";
    size_t length = strlen(path);
    if (length < MAX_PATH) {
        memcpy(destination, path, length + 1);
        return;
    }
    size_t kept = MAX_PATH - sizeof cut; // characters of the end that fit after the mark
    memcpy(destination, cut, sizeof cut - 1);
    memcpy(destination + sizeof cut - 1, path + length - kept, kept + 1);
}

void BuildCurrentTitle(char *destination)
{
    const char *name = BASS_MusicGetName(playbackState.music);
    if (name && *name) {
        CopyBounded(destination, name, TITLE_SIZE);
        return;
    }
    // The name is cut, not the closing bracket.
    const char *part = FileNamePart(playbackState.currentPath);
    size_t length = strlen(part);
    if (length > TITLE_SIZE - 3)
        length = TITLE_SIZE - 3;
    destination[0] = '[';
    memcpy(destination + 1, part, length);
    destination[length + 1] = ']';
    destination[length + 2] = '\0';
}

// The scan cannot tell a file that is missing, or that its reader rejects (a MOD too
// short for its format tag), from one it has no reader for (MO3, an unknown
// extension); only the first two are worth a box, the library plays the rest.
static BOOL FileOpens(const char *file)
{
    HANDLE handle = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return FALSE;
    CloseHandle(handle);
    return TRUE;
}

// TRUE when a thread ran and has now ended.
static BOOL EndMonitorThread(void)
{
    if (playbackState.monitorThread == INVALID_HANDLE_VALUE)
        return FALSE;
    playbackState.stopRequested = 1;
    // The thread only polls, posts and sleeps: it ends within one pass.
    WaitForSingleObject(playbackState.monitorThread, INFINITE);
    CloseHandle(playbackState.monitorThread);
    playbackState.monitorThread = INVALID_HANDLE_VALUE;
    return TRUE;
}

// A host that answered the first end message late still has the later ones queued;
// left there, they would end the next file at once. Only the window's own thread can
// take them, and that is the thread hosts call Stop on.
static void DropQueuedEndMessages(void)
{
    HWND window = __atomic_load_n(&inModule.hMainWindow, __ATOMIC_RELAXED);
    if (!window)
        return;
    MSG message;
    while (PeekMessageA(&message, window, WM_MODULE_ENDED, WM_MODULE_ENDED, PM_REMOVE)) {
    }
}

DWORD WINAPI MonitorLoop(LPVOID parameter)
{
    std::atomic<LONG> *stopRequested = static_cast<std::atomic<LONG> *>(parameter);
    if (*stopRequested)
        return 0;
    do {
        if (!BASS_ChannelIsActive(playbackState.music) && !playbackState.paused) {
            // The host owns the slot; read it afresh, whole, on every pass.
            HWND window = __atomic_load_n(&inModule.hMainWindow, __ATOMIC_RELAXED);
            PostMessageA(window, WM_MODULE_ENDED, 0, 0);
        }
        Sleep(MONITOR_PASS_MS);
    } while (!*stopRequested);
    return 0;
}

int Play(const char *file)
{
    if (!file)
        file = "";
    CopyPath(playbackState.currentPath, file);
    playbackState.paused = 0;
    if (ScanModuleInfo(file) != 0 && (HasHeaderReader(file) || !FileOpens(file)))
        ShowErrorBox(inModule.hMainWindow, "Cannot open module file");
    if (inModule.SetInfo)
        inModule.SetInfo(moduleInfo.channels, static_cast<int>(settings.freq / 1000),
                         (settings.modflags & BASS_MUSIC_MONO) ? 1 : 2, 1);

    if (!BASS_Init(settings.device, settings.freq, settings.devflags, inModule.hMainWindow)) {
        MessageBoxA(NULL, "Can't initialize digital sound system", "Error", MB_OK);
        return 1;
    }
    BASS_Start();
    HMUSIC music = BASS_MusicLoad(FALSE, file, 0, 0, settings.modflags);
    playbackState.music = music;
    // An earlier music the host did not stop goes with BASS_Free; Stop frees only
    // what this load gave.
    playbackState.musicLoaded = music != 0;
    if (!music) {
        MessageBoxA(NULL, "Can't load module", "Error", MB_OK);
        return 1;
    }
    if (!BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE)) {
        MessageBoxA(NULL, "Can't play module", "Error", MB_OK);
        return 1;
    }
    BuildCurrentTitle(playbackState.currentTitle);
    SetVolume(playbackState.volume);

    // A host that skipped Stop still has a thread running: end it rather than lose
    // its handle.
    EndMonitorThread();
    playbackState.stopRequested = 0;
    DWORD threadId;
    HANDLE thread = CreateThread(NULL, 0, MonitorLoop, &playbackState.stopRequested, 0, &threadId);
    playbackState.monitorThread = thread ? thread : INVALID_HANDLE_VALUE;
    return 0;
}

void Pause(void)
{
    playbackState.paused = 1;
    BASS_Pause();
}

void UnPause(void)
{
    playbackState.paused = 0;
    BASS_Start();
}

int IsPaused(void)
{
    return playbackState.paused;
}

void Stop(void)
{
    if (EndMonitorThread())
        DropQueuedEndMessages();
    BASS_Stop();
    // music keeps its value for the length and position queries; it is freed once.
    if (playbackState.musicLoaded) {
        BASS_MusicFree(playbackState.music);
        playbackState.musicLoaded = FALSE;
    }
    BASS_Free();
}

void SetVolume(int volume)
{
    playbackState.volume = volume;
    // Product first, then a division that drops the fraction: 255 gives 99. Wide, so
    // no host value overflows.
    int libraryVolume = static_cast<int>(static_cast<long long>(volume) * 100 / 256);
    BASS_ChannelSetAttributes(playbackState.music, -1, libraryVolume, -1);
}

void SetPan(int pan)
{
    BASS_ChannelSetAttributes(playbackState.music, -1, -1, pan);
}
