// The one playback: the music in the sound library, its monitor thread and the
// playing file's path and title.
#pragma once

#include "soundlib/include/bass.h"

#include <windows.h>

#include <atomic>

// Every title the plug-in writes, its own or into the host's buffer, fits in a path
// buffer: 259 characters and the terminator.
#define TITLE_SIZE MAX_PATH

struct PlaybackState {
    // Read by the monitor thread on every pass, written whole by the host's side.
    std::atomic<HMUSIC> music;
    std::atomic<LONG> paused;
    std::atomic<LONG> stopRequested;
    HANDLE monitorThread; // INVALID_HANDLE_VALUE: none
    BOOL musicLoaded;     // music names a loaded music that Stop has not freed yet
    int volume;           // the host's scale 0 to 255; 100 until the host sets one
    char currentPath[MAX_PATH];
    char currentTitle[TITLE_SIZE];
};

extern PlaybackState playbackState;

// The loaded music's name, or "[file name]" from currentPath when it has none; at
// most TITLE_SIZE bytes with the terminator.
void BuildCurrentTitle(char *destination);

// The monitor thread: parameter is the address of playbackState.stopRequested.
DWORD WINAPI MonitorLoop(LPVOID parameter);

// The part of path after its last directory separator, or the whole path.
const char *FileNamePart(const char *path);
// Copies source into destination (size bytes), cut to fit, always terminated.
void CopyBounded(char *destination, const char *source, size_t size);
