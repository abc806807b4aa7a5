// render_bench: CPU time of the whole process while the plug-in renders one module into
// a WAV file (TESSEL_OUTPUT=wav:...), from Play to the end message. The same program
// is built natively (in_tessel.so over platform/ and libtessel_bass.so) and for Windows
// (IN_TESSEL.dll on our BASS.dll, run under Wine); bench/wine/wine-vs-native runs the
// two in turns and prints the ratio.
//
// Usage: render_bench [rounds]   prints one line "cpu SECONDS" per round.
#include "sound_support.h"
#include "tests/support/host_window.h"
#include "tests/support/test_host.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

const UINT kModuleEnded = WM_USER + 2;

double ProcessCpuSeconds()
{
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    auto seconds = [](const FILETIME &time) {
        return double((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#endif
}

void IgnoreSetInfo(int, int, int, int)
{
}

} // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? std::atoi(argv[1]) : 1;
    TempFolder folder;
    // Eight minutes of a four-channel XM at speed 6 and 125 BPM.
    std::string module = folder.File("bench.xm");
    soundtest::SaveFile(module, modwriter::WriteXm(soundtest::TestSong("Bench", 64, 64, 6, 125)));
    soundtest::SetOutputVariable("wav:" + folder.File("bench.wav"));

    HostWindow host;
    In_Module *plugin = Plugin();
    plugin->hMainWindow = host.Handle();
    plugin->SetInfo = IgnoreSetInfo;
    LoadPluginSettings(-1, 44100, 0, BASS_MUSIC_RAMPS);
    plugin->SetVolume(255);
    for (int round = 0; round < rounds; ++round) {
        host.ClearCounts();
        double start = ProcessCpuSeconds();
        if (plugin->Play(module.c_str()) != 0) {
            std::fprintf(stderr, "render_bench: Play failed\n");
            return 1;
        }
        bool ended = host.PumpUntil(kModuleEnded, 1, 120000);
        double cpu = ProcessCpuSeconds() - start;
        plugin->Stop();
        if (!ended) {
            std::fprintf(stderr, "render_bench: no end message within two minutes\n");
            return 1;
        }
        std::printf("cpu %.4f\n", cpu);
        std::fflush(stdout);
    }
    return 0;
}
