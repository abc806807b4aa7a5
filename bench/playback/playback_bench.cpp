// playback_bench: what the host pays for GetOutputTime while the monitor thread polls,
// against the library query alone, and how long Stop takes to end a playback against
// the monitor thread's 20 ms pass.
//
// The sound library is a stand-in of the cheapest kind (published atomics), so the
// figures are the plug-in's own cost.
#include "soundlib/include/bass.h"
#include "plugin/in_module.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

std::atomic<DWORD> position{0x00020007};
std::atomic<DWORD> active{1};
std::atomic<long> activityPolls{0};

using Clock = std::chrono::steady_clock;

double NanosecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

void NoSetInfo(int, int, int, int)
{
}

// A MOD the header scan reads: tag at 1080.
std::string WriteModule()
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::string path = std::string(folder) + "tessel-bench-" + std::to_string(GetCurrentProcessId()) + ".mod";
    std::vector<BYTE> bytes(1084, 0);
    bytes[1080] = 'M', bytes[1081] = '.', bytes[1082] = 'K', bytes[1083] = '.';
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

} // namespace

extern "C" {
DWORD WINAPI BASS_GetVersion(void)
{
    return BASS_VERSION_08;
}
BOOL WINAPI BASS_GetDeviceDescription(int, char **)
{
    return FALSE;
}
BOOL WINAPI BASS_Init(int, DWORD, DWORD, HWND)
{
    return TRUE;
}
BOOL WINAPI BASS_Start(void)
{
    return TRUE;
}
BOOL WINAPI BASS_Pause(void)
{
    return TRUE;
}
BOOL WINAPI BASS_Stop(void)
{
    return TRUE;
}
void WINAPI BASS_Free(void)
{
}
HMUSIC WINAPI BASS_MusicLoad(BOOL, const void *, DWORD, DWORD, DWORD)
{
    return 0x7001;
}
BOOL WINAPI BASS_MusicPlayEx(HMUSIC, DWORD, int, BOOL)
{
    return TRUE;
}
void WINAPI BASS_MusicFree(HMUSIC)
{
}
char *WINAPI BASS_MusicGetName(HMUSIC)
{
    return const_cast<char *>("Bench Tune");
}
DWORD WINAPI BASS_MusicGetLength(HMUSIC)
{
    return 12;
}
DWORD WINAPI BASS_ChannelGetPosition(DWORD)
{
    return position.load();
}
BOOL WINAPI BASS_ChannelSetPosition(DWORD, DWORD)
{
    return TRUE;
}
BOOL WINAPI BASS_ChannelSetAttributes(DWORD, int, int, int)
{
    return TRUE;
}
DWORD WINAPI BASS_ChannelIsActive(DWORD)
{
    ++activityPolls;
    return active.load();
}
}

int main()
{
    HMODULE plugin = LoadLibraryA(TESSEL_PLUGIN_PATH);
    auto entry = plugin ? reinterpret_cast<GetInModule2Proc>(
                              reinterpret_cast<void (*)()>(GetProcAddress(plugin, "winampGetInModule2")))
                        : nullptr;
    if (!entry) {
        fprintf(stderr, "cannot load %s\n", TESSEL_PLUGIN_PATH);
        return 1;
    }
    In_Module *record = entry();
    record->hMainWindow = nullptr; // the music stays active: nothing is posted
    record->SetInfo = NoSetInfo;
    std::string module = WriteModule();

    // Position queries for about half a second each (many monitor passes): through
    // the plug-in with its monitor thread polling, and the library query alone,
    // called through a pointer as the plug-in calls it across the module boundary.
    const int batch = 1000000;
    const double runNs = 500e6;
    if (record->Play(module.c_str()) != 0) {
        fprintf(stderr, "Play failed\n");
        return 1;
    }
    Sleep(50);
    long pollsBefore = activityPolls.load();
    volatile int sink = 0;
    long long calls = 0;
    Clock::time_point start = Clock::now();
    do {
        for (int i = 0; i < batch; ++i)
            sink = sink + record->GetOutputTime();
        calls += batch;
    } while (NanosecondsSince(start) < runNs);
    double pluginNs = NanosecondsSince(start) / calls;
    long polls = activityPolls.load() - pollsBefore;
    DWORD(WINAPI *volatile query)(DWORD) = BASS_ChannelGetPosition;
    long long directCalls = 0;
    start = Clock::now();
    do {
        for (int i = 0; i < batch; ++i)
            sink = sink + static_cast<int>(LOWORD(query(0x7001)) * 1000);
        directCalls += batch;
    } while (NanosecondsSince(start) < runNs);
    double directNs = NanosecondsSince(start) / directCalls;
    record->Stop();

    printf("GetOutputTime, monitor thread running (%ld polls meanwhile): %.1f ns/call\n", polls, pluginNs);
    printf("library query alone:                                  %.1f ns/call\n", directNs);
    printf("ratio plug-in / library query:                        %.2f\n", pluginNs / directNs);

    // Stop at random points of the monitor thread's pass.
    const int runs = 60;
    std::mt19937 random(20);
    std::vector<double> stopMs;
    for (int run = 0; run < runs; ++run) {
        if (record->Play(module.c_str()) != 0)
            return 1;
        Sleep(20 + random() % 40);
        start = Clock::now();
        record->Stop();
        stopMs.push_back(NanosecondsSince(start) / 1e6);
    }
    std::sort(stopMs.begin(), stopMs.end());
    const double passMs = 20;
    double median = stopMs[runs / 2], p95 = stopMs[runs * 95 / 100], worst = stopMs.back();
    printf("Stop of a running playback over %d runs: median %.2f ms, 95th %.2f ms, worst %.2f ms\n", runs, median, p95,
           worst);
    printf("ratio worst Stop / one %.0f ms pass:                   %.2f\n", passMs, worst / passMs);

    DeleteFileA(module.c_str());
    return 0;
}
