// The plug-in's record and the operations that stand in its slots.
#pragma once

#include "plugin/in_module.h"

extern In_Module inModule;

// plugin.cpp
void About(HWND parent);
void Quit(void);
void EQSet(int on, char data[10], int preamp);
int IsOurFile(const char *file);

// playback.cpp
int Play(const char *file);
void Pause(void);
void UnPause(void);
int IsPaused(void);
void Stop(void);
void SetVolume(int volume);
void SetPan(int pan);

// file_info.cpp
int GetLength(void);
int GetOutputTime(void);
void SetOutputTime(int timeMs);
void GetFileInfo(const char *file, char *title, int *lengthMs);

// settings/
void Init(void);
void Config(HWND parent);

// modinfo/
int InfoBox(const char *file, HWND parent);
