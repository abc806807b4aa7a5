// The four persisted settings, their registry store and the shared error box.
#pragma once

#include <windows.h>

struct Settings {
    LONG device;    // -1: the system's default device
    DWORD freq;     // output rate in Hz
    DWORD devflags; // handed to BASS_Init unchanged
    DWORD modflags; // handed to BASS_MusicLoad unchanged
};

extern Settings settings;

#define SETTINGS_KEY_PATH "Software\\Vantrel\\Velkin\\0.8"

LONG OpenSettingsKey(BOOL *created);
void CloseSettingsKey(void);
void SaveSettings(void);
void LoadSettings(void);
void ShowErrorBox(HWND owner, const char *text);
