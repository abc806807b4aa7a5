// Length, position and titles toward the host, counted in order positions: one
// order position is 1000 ms.
#include "plugin/playback.h"
#include "plugin/plugin.h"

#define MS_PER_ORDER 1000
// High half of the position word that BASS_ChannelSetPosition takes as an order.
#define POSITION_BY_ORDER 0x10000u

int GetLength(void)
{
    return static_cast<int>(BASS_MusicGetLength(playbackState.music) * MS_PER_ORDER);
}

int GetOutputTime(void)
{
    return LOWORD(BASS_ChannelGetPosition(playbackState.music)) * MS_PER_ORDER;
}

void SetOutputTime(int timeMs)
{
    WORD order = static_cast<WORD>(timeMs / MS_PER_ORDER);
    BASS_ChannelSetPosition(playbackState.music, order | POSITION_BY_ORDER);
}

void GetFileInfo(const char *file, char *title, int *lengthMs)
{
    if (!file || !*file) {
        if (lengthMs)
            *lengthMs = GetLength();
        if (title)
            BuildCurrentTitle(title);
        return;
    }
    if (lengthMs) {
        // Another file is not read: it has the length 0 if it exists at all.
        *lengthMs = -MS_PER_ORDER;
        HANDLE handle = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
        if (handle != INVALID_HANDLE_VALUE) {
            *lengthMs = 0;
            CloseHandle(handle);
        }
    }
    if (title)
        CopyBounded(title, FileNamePart(file), TITLE_SIZE);
}
