// Control side of the sound-library test double: the tests script its answers and
// read back every call it received. Plain C types only, since under Wine the double
// (BASS.dll) and the test program each carry their own C++ runtime.
#pragma once

#include <windows.h>

#ifdef _WIN32
#ifdef BASS_DOUBLE_BUILD
#define BASS_DOUBLE_API __declspec(dllexport)
#else
#define BASS_DOUBLE_API __declspec(dllimport)
#endif
#else
#define BASS_DOUBLE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define BASS_DOUBLE_ARGS 5
#define BASS_DOUBLE_TEXT 1024

typedef struct BassDoubleCall {
    char name[40];
    long long args[BASS_DOUBLE_ARGS];
    char text[BASS_DOUBLE_TEXT]; // the path handed to BASS_MusicLoad
} BassDoubleCall;

// Forgets every call and restores the answers of a working 0.8 library with one
// device ("Double Device"), a 12-order music named "Double Tune" that is active.
BASS_DOUBLE_API void BassDouble_Reset(void);
BASS_DOUBLE_API void BassDouble_SetVersion(DWORD version);
BASS_DOUBLE_API void BassDouble_SetDevices(const char *const *names, int count);
BASS_DOUBLE_API void BassDouble_SetInitResult(BOOL result);
BASS_DOUBLE_API void BassDouble_SetLoadResult(DWORD music);
BASS_DOUBLE_API void BassDouble_SetPlayResult(BOOL result);
// name may be null: the library then has no name to give.
BASS_DOUBLE_API void BassDouble_SetName(const char *name, BOOL present);
BASS_DOUBLE_API void BassDouble_SetLength(DWORD orders);
BASS_DOUBLE_API void BassDouble_SetPosition(DWORD word);
BASS_DOUBLE_API void BassDouble_SetActive(DWORD active);

BASS_DOUBLE_API int BassDouble_CallCount(void);
BASS_DOUBLE_API BOOL BassDouble_GetCall(int index, BassDoubleCall *call);
BASS_DOUBLE_API int BassDouble_CountOf(const char *name);

#ifdef __cplusplus
}
#endif
