// The BASS 0.8 sound library as the plug-in uses it: our own declarations of the
// functions this library exports (from BASS.dll by their plain names), which the
// plug-in imports. On Windows they follow the standard calling convention; on POSIX
// WINAPI is empty.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef DWORD HMUSIC;

// 0.8 reports itself as 8 in the high word, 0 in the low word.
#define BASS_VERSION_08 0x80000

// Bits of the devflags word handed to BASS_Init.
#define BASS_DEVICE_8BITS 0x01

// Bits of the modflags word handed to BASS_MusicLoad.
#define BASS_MUSIC_RAMP 0x01  /* normal volume ramping */
#define BASS_MUSIC_RAMPS 0x02 /* sensitive volume ramping */
#define BASS_MUSIC_LOOP 0x04
#define BASS_MUSIC_FT2MOD 0x10 /* MOD replay like FastTracker II */
#define BASS_MUSIC_PT1MOD 0x20 /* MOD replay like ProTracker I */
#define BASS_MUSIC_MONO 0x40

// Flag word the plug-in passes to BASS_MusicPlayEx.
#define BASS_MUSIC_PLAY_FLAGS 0x100

DWORD WINAPI BASS_GetVersion(void);
BOOL WINAPI BASS_GetDeviceDescription(int device, char **description);
BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND window);
BOOL WINAPI BASS_Start(void);
BOOL WINAPI BASS_Pause(void);
BOOL WINAPI BASS_Stop(void);
void WINAPI BASS_Free(void);
HMUSIC WINAPI BASS_MusicLoad(BOOL memory, const void *file, DWORD offset, DWORD length, DWORD flags);
BOOL WINAPI BASS_MusicPlayEx(HMUSIC music, DWORD position, int flags, BOOL reset);
void WINAPI BASS_MusicFree(HMUSIC music);
char *WINAPI BASS_MusicGetName(HMUSIC music);
DWORD WINAPI BASS_MusicGetLength(HMUSIC music);
DWORD WINAPI BASS_ChannelGetPosition(DWORD handle);
BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, DWORD position);
BOOL WINAPI BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan);
DWORD WINAPI BASS_ChannelIsActive(DWORD handle);

#ifdef __cplusplus
}
#endif
