// The host's input-module record, interface version 0x100, declared slot by slot in
// the order the host reads them. Every slot is pointer sized.
#pragma once

#include <windows.h>

#define IN_MODULE_VERSION 0x100

struct Out_Module;

typedef struct In_Module {
    INT_PTR version;
    const char *description;
    HWND hMainWindow;
    HINSTANCE hDllInstance;
    const char *FileExtensions;
    INT_PTR is_seekable;
    INT_PTR UsesOutputPlug;
    void (*Config)(HWND parent);
    void (*About)(HWND parent);
    void (*Init)(void);
    void (*Quit)(void);
    void (*GetFileInfo)(const char *file, char *title, int *lengthMs);
    int (*InfoBox)(const char *file, HWND parent);
    int (*IsOurFile)(const char *file);
    int (*Play)(const char *file);
    void (*Pause)(void);
    void (*UnPause)(void);
    int (*IsPaused)(void);
    void (*Stop)(void);
    int (*GetLength)(void);
    int (*GetOutputTime)(void);
    void (*SetOutputTime)(int timeMs);
    void (*SetVolume)(int volume);
    void (*SetPan)(int pan);
    // Visualisation and DSP slots: the host's; the plug-in never calls them.
    void (*SAVSAInit)(int maxLatencyMs, int sampleRate);
    void (*SAVSADeInit)(void);
    void (*SAAddPCMData)(void *pcm, int channels, int bits, int timestamp);
    int (*SAGetMode)(void);
    int (*SAAdd)(void *data, int timestamp, int csa);
    void (*VSAAddPCMData)(void *pcm, int channels, int bits, int timestamp);
    int (*VSAGetMode)(int *specChannels);
    int (*VSAAdd)(void *data, int timestamp);
    void (*VSASetInfo)(int sampleRate, int channels);
    int (*dsp_isactive)(void);
    int (*dsp_dosamples)(short *samples, int count, int bits, int channels, int sampleRate);
    void (*EQSet)(int on, char data[10], int preamp);
    void (*SetInfo)(int bitrate, int sampleRateKhz, int channels, int synched);
    struct Out_Module *outMod;
} In_Module;

typedef In_Module *(*GetInModule2Proc)(void);
