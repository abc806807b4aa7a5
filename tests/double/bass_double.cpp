// A BASS 0.8 stand-in that records each call with its arguments and answers as the
// running test scripted it.
#define BASS_DOUBLE_BUILD
#include "tests/double/bass_double.h"

#include "soundlib/include/bass.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#ifdef _WIN32
#define BASS_EXPORT __declspec(dllexport)
#else
#define BASS_EXPORT __attribute__((visibility("default")))
#endif

namespace {

struct Script {
    DWORD version = BASS_VERSION_08;
    std::vector<std::string> devices{"Double Device"};
    BOOL initResult = TRUE;
    DWORD loadResult = 0x7001;
    BOOL playResult = TRUE;
    std::string name = "Double Tune";
    bool namePresent = true;
    DWORD length = 12;
};

std::mutex mutex;
Script script;
std::vector<BassDoubleCall> calls;
// Read by the plug-in's monitor thread on every pass; set by the test's thread.
std::atomic<DWORD> active{1};
std::atomic<DWORD> position{0};
// Bounds the log: a monitor thread left polling must not grow it without end.
const size_t maxCalls = 100000;

void Record(const char *name, std::initializer_list<long long> args, const char *text = nullptr)
{
    BassDoubleCall call{};
    strncpy(call.name, name, sizeof call.name - 1);
    int i = 0;
    for (long long arg : args)
        call.args[i++] = arg;
    if (text)
        strncpy(call.text, text, sizeof call.text - 1);
    std::lock_guard<std::mutex> lock(mutex);
    if (calls.size() < maxCalls)
        calls.push_back(call);
}

} // namespace

extern "C" {

BASS_DOUBLE_API void BassDouble_Reset(void)
{
    std::lock_guard<std::mutex> lock(mutex);
    script = Script();
    calls.clear();
    active = 1;
    position = 0;
}

BASS_DOUBLE_API void BassDouble_SetVersion(DWORD version)
{
    std::lock_guard<std::mutex> lock(mutex);
    script.version = version;
}

BASS_DOUBLE_API void BassDouble_SetDevices(const char *const *names, int count)
{
    std::lock_guard<std::mutex> lock(mutex);
    script.devices.assign(names, names + count);
}

BASS_DOUBLE_API void BassDouble_SetInitResult(BOOL result)
{
    std::lock_guard<std::mutex> lock(mutex);
    script.initResult = result;
}

BASS_DOUBLE_API void BassDouble_SetLoadResult(DWORD music)
{
    std::lock_guard<std::mutex> lock(mutex);
    script.loadResult = music;
}

BASS_DOUBLE_API void BassDouble_SetPlayResult(BOOL result)
{
    std::lock_guard<std::mutex> lock(mutex);
    script.playResult = result;
}

BASS_DOUBLE_API void BassDouble_SetName(const char *name, BOOL present)
{
    std::lock_guard<std::mutex> lock(mutex);
    script.name = name ? name : "";
    script.namePresent = present;
}

BASS_DOUBLE_API void BassDouble_SetLength(DWORD orders)
{
    std::lock_guard<std::mutex> lock(mutex);
    script.length = orders;
}

BASS_DOUBLE_API void BassDouble_SetPosition(DWORD word)
{
    position = word;
}

BASS_DOUBLE_API void BassDouble_SetActive(DWORD value)
{
    active = value;
}

BASS_DOUBLE_API int BassDouble_CallCount(void)
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(calls.size());
}

BASS_DOUBLE_API BOOL BassDouble_GetCall(int index, BassDoubleCall *call)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (index < 0 || static_cast<size_t>(index) >= calls.size())
        return FALSE;
    *call = calls[static_cast<size_t>(index)];
    return TRUE;
}

BASS_DOUBLE_API int BassDouble_CountOf(const char *name)
{
    std::lock_guard<std::mutex> lock(mutex);
    int count = 0;
    for (const BassDoubleCall &call : calls)
        count += strcmp(call.name, name) == 0;
    return count;
}

BASS_EXPORT DWORD WINAPI BASS_GetVersion(void)
{
    Record("BASS_GetVersion", {});
    std::lock_guard<std::mutex> lock(mutex);
    return script.version;
}

BASS_EXPORT BOOL WINAPI BASS_GetDeviceDescription(int device, char **description)
{
    Record("BASS_GetDeviceDescription", {device});
    std::lock_guard<std::mutex> lock(mutex);
    if (device < 0 || static_cast<size_t>(device) >= script.devices.size())
        return FALSE;
    // Stays valid until the script changes, as the library's own text does.
    *description = const_cast<char *>(script.devices[static_cast<size_t>(device)].c_str());
    return TRUE;
}

BASS_EXPORT BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND window)
{
    Record("BASS_Init", {device, freq, flags, static_cast<long long>(reinterpret_cast<intptr_t>(window))});
    std::lock_guard<std::mutex> lock(mutex);
    return script.initResult;
}

BASS_EXPORT BOOL WINAPI BASS_Start(void)
{
    Record("BASS_Start", {});
    return TRUE;
}

BASS_EXPORT BOOL WINAPI BASS_Pause(void)
{
    Record("BASS_Pause", {});
    return TRUE;
}

BASS_EXPORT BOOL WINAPI BASS_Stop(void)
{
    Record("BASS_Stop", {});
    return TRUE;
}

BASS_EXPORT void WINAPI BASS_Free(void)
{
    Record("BASS_Free", {});
}

BASS_EXPORT HMUSIC WINAPI BASS_MusicLoad(BOOL memory, const void *file, DWORD offset, DWORD length, DWORD flags)
{
    Record("BASS_MusicLoad", {memory, 0, offset, length, flags}, static_cast<const char *>(file));
    std::lock_guard<std::mutex> lock(mutex);
    return script.loadResult;
}

BASS_EXPORT BOOL WINAPI BASS_MusicPlayEx(HMUSIC music, DWORD start, int flags, BOOL reset)
{
    Record("BASS_MusicPlayEx", {music, start, flags, reset});
    std::lock_guard<std::mutex> lock(mutex);
    return script.playResult;
}

BASS_EXPORT void WINAPI BASS_MusicFree(HMUSIC music)
{
    Record("BASS_MusicFree", {music});
}

BASS_EXPORT char *WINAPI BASS_MusicGetName(HMUSIC music)
{
    Record("BASS_MusicGetName", {music});
    std::lock_guard<std::mutex> lock(mutex);
    return script.namePresent ? const_cast<char *>(script.name.c_str()) : nullptr;
}

BASS_EXPORT DWORD WINAPI BASS_MusicGetLength(HMUSIC music)
{
    Record("BASS_MusicGetLength", {music});
    std::lock_guard<std::mutex> lock(mutex);
    return script.length;
}

BASS_EXPORT DWORD WINAPI BASS_ChannelGetPosition(DWORD handle)
{
    Record("BASS_ChannelGetPosition", {handle});
    return position;
}

BASS_EXPORT BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, DWORD word)
{
    Record("BASS_ChannelSetPosition", {handle, word});
    return TRUE;
}

BASS_EXPORT BOOL WINAPI BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan)
{
    Record("BASS_ChannelSetAttributes", {handle, freq, volume, pan});
    return TRUE;
}

BASS_EXPORT DWORD WINAPI BASS_ChannelIsActive(DWORD handle)
{
    Record("BASS_ChannelIsActive", {handle});
    return active;
}

} // extern "C"
