// The export, the In_Module record and the small operations of the descriptor.
#include "plugin/plugin.h"

#include "soundlib/include/bass.h"

// Pairs of extension and description, ended by an empty string: the block ends in
// two zero bytes.
static const char fileExtensions[] = "XM\0FastTracker II Module (*.XM)\0"
                                     "IT\0ImpulseTracker Module (*.IT)\0"
                                     "S3M\0ScreamTracker Module (*.S3M)\0"
                                     "MOD\0ProTracker Module (*.MOD)\0"
                                     "MO3\0MP3 Compressed Module (*.MO3)\0";

// Fully initialised at load: the host may read it before calling anything.
In_Module inModule = {
    IN_MODULE_VERSION,
    "Tessel PlugIn v0.8",
    nullptr, // hMainWindow, the host's
    nullptr, // hDllInstance, the host's
    fileExtensions,
    1, // is_seekable
    0, // UsesOutputPlug: the sound library has a device of its own
    Config,
    About,
    Init,
    Quit,
    GetFileInfo,
    InfoBox,
    IsOurFile,
    Play,
    Pause,
    UnPause,
    IsPaused,
    Stop,
    GetLength,
    GetOutputTime,
    SetOutputTime,
    SetVolume,
    SetPan,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    EQSet,
    nullptr, // SetInfo, the host's
    nullptr, // outMod, never read
};

extern "C" In_Module *winampGetInModule2(void)
{
    return &inModule;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

void About(HWND parent)
{
    MessageBoxA(parent,
                "Tessel PlugIn 0.8.3\n"
                "\n"
                "BASS 0.8 sound library by Ian Luck\n"
                "Plug-in by the Tessel developers\n"
                "Additional code by the Tessel contributors",
                "About Tessel PlugIn", MB_OK);
}

void Quit(void)
{
}

// The host's equaliser values mean nothing to a player that mixes in the library.
void EQSet(int, char[10], int)
{
}

int IsOurFile(const char *)
{
    return 0;
}
