// Benchmarks of the sound library, printed side by side with ratios:
//  1. CPU time to render a module to a WAV file: libtessel_bass.so (WAV output) against a
//     minimal libopenmpt render loop and against `openmpt123 --render`, at the same
//     settings (44100 Hz, 16-bit stereo, libopenmpt's default ramping and interpolation,
//     no dither, no repeat);
//  2. start latency: BASS_MusicPlayEx to the first frame accepted by the output;
//  3. error of the reported position against the audible one, on the null output with
//     device-like buffers (the audible frame follows from the output's clock), and how
//     far the heard position moves across a pause and a resume;
//  4. CPU of `tessel -o` (through the plug-in, offline output) against
//     `openmpt123 --batch -o` at the same settings, in pairs of runs;
//  5. the cost of a track change (the plug-in's Stop and Play pair) on the device
//     output, over the process's one PortAudio session, on ALSA's null PCM (a
//     private HOME whose .asoundrc makes it the default);
//  6. refusing a large file that is no module, against reading it whole (what it cost
//     before libopenmpt's header probe decided).
//
// Usage: bench_soundlib [--runs N] [module ...]   (default: the samples and a generated
// 32-channel XM)
#include "soundlib/include/bass.h"
#include "test_songs.h"
#include "output.h"
#include "tessel_bass.h"

#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kRate = 44100;

double ProcessCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

// The value a fraction of the way up the sorted values (0.5: the median).
double Quantile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[size_t(fraction * double(values.size() - 1) + 0.5)];
}

double Median(std::vector<double> values)
{
    return Quantile(std::move(values), 0.5);
}

std::vector<char> ReadFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void PutLe32(std::FILE *file, long at, uint32_t value)
{
    uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    std::fseek(file, at, SEEK_SET);
    std::fwrite(bytes, 1, 4, file);
}

// The minimal loop: load, read 16-bit stereo, write it after a WAV header.
double MinimalRender(const std::string &module, const std::string &wav, uint64_t &frames)
{
    double start = ProcessCpuMs();
    std::vector<char> data = ReadFile(module);
    std::ostream quiet(nullptr);
    openmpt::module music(data, quiet);
    music.ctl_set_integer("dither", 0);
    std::FILE *file = std::fopen(wav.c_str(), "wb");
    static const uint8_t header[44] = {'R', 'I', 'F', 'F', 0,  0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
                                       ' ', 16,  0,   0,   0,  1, 0,   2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1,
                                       2,   0,   4,   0,   16, 0, 'd', 'a', 't', 'a',  0,    0,   0,   0};
    std::fwrite(header, 1, sizeof header, file);
    std::vector<int16_t> buffer(2 * 1024);
    frames = 0;
    while (size_t count = music.read_interleaved_stereo(kRate, 1024, buffer.data())) {
        std::fwrite(buffer.data(), 4, count, file);
        frames += count;
    }
    PutLe32(file, 40, uint32_t(frames * 4));
    PutLe32(file, 4, uint32_t(frames * 4 + 36));
    std::fclose(file);
    return ProcessCpuMs() - start;
}

// The library from Init to Free with the WAV output.
double LibraryRender(const std::string &module, const std::string &wav, uint64_t &frames)
{
    TesselBass_SetOutput(TESSEL_OUTPUT_WAV, wav.c_str());
    double start = ProcessCpuMs();
    frames = 0;
    if (!BASS_Init(-1, kRate, 0, nullptr))
        return NAN;
    HMUSIC music = BASS_MusicLoad(FALSE, module.c_str(), 0, 0, BASS_MUSIC_RAMPS);
    if (music == 0 || !BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE)) {
        BASS_Free();
        return NAN;
    }
    // Polled as the plug-in's monitor thread polls it.
    while (BASS_ChannelIsActive(music))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    TesselBassStats stats{};
    TesselBass_GetStats(&stats);
    frames = stats.framesWritten;
    BASS_Free();
    return ProcessCpuMs() - start;
}

// A child process's user and system time in ms, NAN when it fails. Its output goes to
// /dev/null; extra holds NAME=VALUE pairs added to the environment.
double ChildCpuMs(std::vector<std::string> args, const std::vector<std::string> &extra = {})
{
    if (args.front().empty() || access(args.front().c_str(), X_OK) != 0)
        return NAN;
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env(extra);
    for (char **at = environ; *at; ++at)
        env.push_back(*at);
    std::vector<char *> envp;
    for (std::string &entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child;
    int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return NAN;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return NAN;
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// openmpt123 --render as a child process.
double Openmpt123Render(const std::string &module)
{
    return ChildCpuMs({OPENMPT123_PATH,
                       "--render",
                       "--samplerate",
                       "44100",
                       "--channels",
                       "2",
                       "--no-float",
                       "--ramping",
                       "-1",
                       "--filter",
                       "8",
                       "--dither",
                       "0",
                       "--repeat",
                       "0",
                       "--force",
                       "--quiet",
                       "--output-type",
                       "wav",
                       module});
}

// 32 channels of looped square waves for two minutes: a heavy, steady mix.
std::vector<uint8_t> StressModule()
{
    modwriter::Tune song;
    song.song.title = "Stress";
    song.song.orders.clear();
    song.channels = 32;
    song.samples = {modwriter::SquareSample("square", 32, 32, 48)};
    for (int order = 0; order < 16; ++order) {
        modwriter::Pattern pattern(64, song.channels);
        for (int row = 0; row < pattern.rows; row += 2)
            for (int channel = 0; channel < song.channels; ++channel) {
                modwriter::Cell &cell = pattern.At(row, channel);
                cell.note = uint8_t(modwriter::kMiddleC + 12 * ((row / 2 + channel + order) % 2));
                cell.instrument = 1;
            }
        song.song.orders.push_back(uint8_t(order));
        song.song.patterns.push_back(pattern);
    }
    return modwriter::WriteXm(song);
}

void RenderCost(const std::vector<std::string> &modules, const std::string &dir, int runs)
{
    std::printf("Render cost: CPU ms to render to WAV (median of %d; 44100 Hz 16-bit stereo, default ramping\n"
                "and 8-tap interpolation, no dither, no repeat; loading included)\n\n",
                runs);
    std::printf("| module | seconds | minimal loop | tessel_bass | openmpt123 --render | tessel/minimal | "
                "tessel/openmpt123 |\n|---|---:|---:|---:|---:|---:|---:|\n");
    for (const std::string &module : modules) {
        std::vector<double> minimal, ours, tool;
        uint64_t minimalFrames = 0, ourFrames = 0;
        // Interleaved, so drift in the machine's load touches all three alike.
        for (int run = 0; run < runs; ++run) {
            minimal.push_back(MinimalRender(module, dir + "/minimal.wav", minimalFrames));
            ours.push_back(LibraryRender(module, dir + "/tessel.wav", ourFrames));
            tool.push_back(Openmpt123Render(module));
        }
        double m = Median(minimal), o = Median(ours), t = Median(tool);
        std::printf("| %s | %.1f | %.1f | %.1f | %.1f | %.3f | %.3f |\n",
                    std::filesystem::path(module).filename().c_str(), double(minimalFrames) / kRate, m, o, t, o / m,
                    o / t);
        if (ourFrames < minimalFrames)
            std::printf("  (!) library wrote %llu frames, minimal loop %llu\n", (unsigned long long)ourFrames,
                        (unsigned long long)minimalFrames);
    }
    std::printf("\n");
}

void StartLatency(const std::string &module, int runs)
{
    std::printf("Start latency: BASS_MusicPlayEx to the first frame accepted by the output (%d starts)\n\n", runs);
    std::printf("| output | median ms | max ms |\n|---|---:|---:|\n");
    struct Output {
        const char *name;
        int kind;
    } outputs[] = {{"null (one chunk buffer)", TESSEL_OUTPUT_NULL}, {"WAV file", TESSEL_OUTPUT_WAV}};
    std::string wav = std::filesystem::temp_directory_path() / "tessel-bench-latency.wav";
    for (const Output &output : outputs) {
        std::vector<double> values;
        for (int run = 0; run < runs; ++run) {
            TesselBass_SetOutput(output.kind, wav.c_str());
            if (!BASS_Init(-1, kRate, 0, nullptr))
                break;
            HMUSIC music = BASS_MusicLoad(FALSE, module.c_str(), 0, 0, BASS_MUSIC_RAMPS | BASS_MUSIC_LOOP);
            BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE);
            // Polled as a host polls: a music started is held until the host first
            // asks after it.
            TesselBassStats stats{};
            Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
            while (BASS_ChannelIsActive(music) && TesselBass_GetStats(&stats) && stats.playToFirstWriteNs < 0 &&
                   Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            BASS_Free();
            if (stats.playToFirstWriteNs < 0)
                break;
            values.push_back(double(stats.playToFirstWriteNs) / 1e6);
        }
        if (values.size() < size_t(runs))
            std::printf("| %s | no frame written within 5 s | |\n", output.name);
        else
            std::printf("| %s | %.3f | %.3f |\n", output.name, Median(values),
                        *std::max_element(values.begin(), values.end()));
    }
    std::remove(wav.c_str());
    char *description = nullptr;
    if (!BASS_GetDeviceDescription(0, &description))
        std::printf("| PortAudio device | no output device on this machine | |\n");
    std::printf("\n");
}

void PositionError(int runs)
{
    std::printf("Position error: reported order/row against the row audible at that moment, polled every\n"
                "millisecond on the null output (6 orders x 8 rows, 40 ms rows; %d plays per buffer)\n\n",
                runs);
    std::printf("| buffer | samples | exact row | mean abs ms | p95 abs ms | max abs ms |\n"
                "|---|---:|---:|---:|---:|---:|\n");
    modwriter::Tune song = soundtest::TestSong("Position", 6, 8, 2, 125);
    std::vector<uint8_t> module = modwriter::WriteMod(song);
    // Where each row starts, from libopenmpt's own render in 16-frame steps.
    std::vector<std::pair<uint32_t, uint64_t>> starts; // position word, first frame
    {
        openmpt::module reference(module);
        std::vector<float> buffer(2 * 16);
        uint64_t frame = 0;
        uint32_t songEnd = 0;
        for (;;) {
            uint32_t position = uint32_t(reference.get_current_order()) | (uint32_t(reference.get_current_row()) << 16);
            if (!starts.empty() && position < starts.back().first) // the fade after the end
                break;
            if (starts.empty() || starts.back().first != position)
                starts.emplace_back(position, frame);
            size_t count = reference.read_interleaved_stereo(kRate, 16, buffer.data());
            if (count == 0)
                break;
            frame += count;
            songEnd = uint32_t(frame);
        }
        starts.emplace_back(0xFFFFFFFF, songEnd);
    }
    for (uint32_t bufferMs : {0u, 100u, 300u}) {
        TesselBass_SetNullBuffer(bufferMs);
        TesselBass_SetOutput(TESSEL_OUTPUT_NULL, nullptr);
        std::vector<double> errors;
        size_t exact = 0;
        for (int run = 0; run < runs; ++run) {
            if (!BASS_Init(-1, kRate, 0, nullptr))
                return;
            HMUSIC music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), BASS_MUSIC_RAMPS);
            std::vector<std::pair<Clock::time_point, DWORD>> polls;
            Clock::time_point played = Clock::now();
            BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE);
            while (BASS_ChannelIsActive(music)) {
                polls.emplace_back(Clock::now(), BASS_ChannelGetPosition(music));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            TesselBassStats stats{};
            TesselBass_GetStats(&stats);
            BASS_Free();
            // The null output's clock starts with its first frame.
            Clock::time_point first = played + std::chrono::nanoseconds(stats.playToFirstWriteNs);
            for (const auto &poll : polls) {
                DWORD position = poll.second;
                double audible = std::chrono::duration<double>(poll.first - first).count() * kRate;
                if (audible < 0 || audible >= double(starts.back().second))
                    continue;
                auto row = std::find_if(starts.begin(), starts.end() - 1,
                                        [&](const auto &start) { return start.first == position; });
                if (row == starts.end() - 1)
                    continue;
                double from = double(row->second), to = double((row + 1)->second);
                double error = audible < from ? from - audible : audible >= to ? audible - to : 0.0;
                exact += error == 0.0;
                errors.push_back(error * 1000.0 / kRate);
            }
        }
        std::sort(errors.begin(), errors.end());
        double mean = 0;
        for (double e : errors)
            mean += e;
        mean = errors.empty() ? 0 : mean / double(errors.size());
        std::printf("| %s | %zu | %.1f%% | %.2f | %.2f | %.2f |\n",
                    bufferMs == 0 ? "one chunk (5 ms)" : (std::to_string(bufferMs) + " ms").c_str(), errors.size(),
                    errors.empty() ? 0.0 : 100.0 * double(exact) / double(errors.size()), mean,
                    errors.empty() ? 0.0 : errors[errors.size() * 95 / 100], errors.empty() ? 0.0 : errors.back());
    }
    TesselBass_SetNullBuffer(0);
    std::printf("\n");

    // Across a pause: the heard time just before BASS_Pause against the time held while
    // paused, and the time 60 ms after BASS_Start against the held time plus 60 ms.
    std::printf("Pause continuity: heard song time across BASS_Pause and BASS_Start on the null output\n"
                "(%d pauses per buffer; 0 ms means not a frame lost or repeated, up to a row's 40 ms steps\n"
                "of the time when the row changes)\n\n| buffer | jump at pause, mean ms | jump at resume, mean ms |\n"
                "|---|---:|---:|\n",
                runs * 3);
    for (uint32_t bufferMs : {100u, 300u}) {
        TesselBass_SetNullBuffer(bufferMs);
        TesselBass_SetOutput(TESSEL_OUTPUT_NULL, nullptr);
        double atPause = 0, atResume = 0;
        int samples = 0;
        for (int run = 0; run < runs * 3; ++run) {
            if (!BASS_Init(-1, kRate, 0, nullptr))
                return;
            HMUSIC music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), BASS_MUSIC_RAMPS);
            BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE);
            BASS_ChannelIsActive(music); // a host's first look ends the start's hold
            TesselBassPlaying playing{};
            std::this_thread::sleep_for(std::chrono::milliseconds(400 + 7 * run));
            TesselBass_GetPlaying(&playing);
            double before = playing.positionMs;
            BASS_Pause();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            TesselBass_GetPlaying(&playing);
            double held = playing.positionMs;
            Clock::time_point resumed = Clock::now();
            BASS_Start();
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            TesselBass_GetPlaying(&playing);
            double after =
                playing.positionMs - std::chrono::duration<double, std::milli>(Clock::now() - resumed).count();
            BASS_Free();
            atPause += std::fabs(held - before);
            atResume += std::fabs(after - held);
            ++samples;
        }
        std::printf("| %u ms | %.1f | %.1f |\n", bufferMs, atPause / samples, atResume / samples);
    }
    TesselBass_SetNullBuffer(0);
    std::printf("\n");
}

// tessel -o against openmpt123 --batch -o, each run a pair, the ratio taken per pair.
// Both spend nearly all their time in the same libopenmpt render, so the ratio sits
// close to 1 and the machine's noise matters: the quartiles of the pairs' ratios show it.
void HostRenderCost(const std::vector<std::string> &modules, const std::string &dir, int runs)
{
    std::printf("tessel -o against openmpt123 --batch: CPU ms, median of %d pairs (44100 Hz 16-bit stereo,\n"
                "one pass, default settings of both)\n\n| module | tessel -o | openmpt123 --batch | ratio (median of "
                "pairs) | quartiles of the ratios |\n|---|---:|---:|---:|---|\n",
                runs);
    std::string config = dir + "/config";
    std::filesystem::create_directories(config);
    for (const std::string &module : modules) {
        std::vector<double> ours, tool, ratios;
        for (int run = 0; run < runs; ++run) {
            double o = ChildCpuMs({TESSEL_BINARY, "-o", dir + "/host.wav", module}, {"XDG_CONFIG_HOME=" + config});
            double t = ChildCpuMs({OPENMPT123_PATH, "--batch", "--samplerate", "44100", "--channels", "2", "--no-float",
                                   "--dither", "0", "--repeat", "0", "--force", "--quiet", "-o",
                                   dir + "/openmpt123.wav", module});
            ours.push_back(o);
            tool.push_back(t);
            ratios.push_back(o / t);
        }
        std::printf("| %s | %.1f | %.1f | %.3f | %.3f to %.3f |\n", std::filesystem::path(module).filename().c_str(),
                    Median(ours), Median(tool), Median(ratios), Quantile(ratios, 0.25), Quantile(ratios, 0.75));
    }
    std::printf("\n");
}

// BASS_MusicLoad of a large file of zeros named .xm against reading it whole.
void RefusalCost(const std::string &dir, int runs)
{
    const std::string path = dir + "/zeros.xm";
    std::ofstream(path, std::ios::binary).seekp((256 << 20) - 1).put('\0'); // sparse: no disk is written
    std::vector<double> refusal, whole;
    for (int run = 0; run < runs; ++run) {
        Clock::time_point start = Clock::now();
        if (HMUSIC music = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, BASS_MUSIC_RAMPS))
            BASS_MusicFree(music);
        Clock::time_point refused = Clock::now();
        std::vector<char> data(256 << 20);
        std::ifstream(path, std::ios::binary).read(data.data(), std::streamsize(data.size()));
        refusal.push_back(std::chrono::duration<double, std::milli>(refused - start).count());
        whole.push_back(std::chrono::duration<double, std::milli>(Clock::now() - refused).count());
    }
    std::filesystem::remove(path);
    std::printf("Refusing 256 MB of zeros named .xm, median of %d runs: BASS_MusicLoad %.3f ms, reading it whole "
                "%.1f ms\n\n",
                runs, Median(refusal), Median(whole));
}

// The plug-in's Stop and Play pair on the device output: Stop, MusicFree and Free, then
// Init, Start, MusicLoad and MusicPlayEx, over the process's one PortAudio session.
void TrackChangeCost(const std::string &module, int changes)
{
    std::printf("Track change on the device output (ALSA null PCM): wall ms per Stop + Play pair, %d changes\n\n"
                "| median ms | p95 ms | max ms |\n|---:|---:|---:|\n",
                changes);
    TesselBass_SetOutput(TESSEL_OUTPUT_DEVICE, nullptr);
    std::vector<double> values;
    HMUSIC music = 0;
    if (BASS_Init(-1, kRate, 0, nullptr)) {
        music = BASS_MusicLoad(FALSE, module.c_str(), 0, 0, BASS_MUSIC_RAMPS);
        BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE);
    }
    for (int change = 0; change < changes && music != 0; ++change) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Clock::time_point start = Clock::now();
        BASS_Stop();
        BASS_MusicFree(music);
        BASS_Free();
        music = 0;
        if (!BASS_Init(-1, kRate, 0, nullptr))
            break;
        BASS_Start();
        music = BASS_MusicLoad(FALSE, module.c_str(), 0, 0, BASS_MUSIC_RAMPS);
        BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE);
        values.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    BASS_Free();
    if (values.empty()) {
        std::printf("| device did not open | | |\n\n");
        return;
    }
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    std::printf("| %.2f | %.2f | %.2f |\n\n", Median(values), sorted[sorted.size() * 95 / 100], sorted.back());
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 7;
    std::vector<std::string> modules;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            modules.push_back(argv[i]);
    }
    std::string dir = std::filesystem::temp_directory_path() / ("tessel-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    // The device path runs on ALSA's null PCM, through a private HOME's .asoundrc, set
    // before anything reads ALSA's configuration.
    std::filesystem::create_directories(dir + "/home");
    std::ofstream(dir + "/home/.asoundrc") << "pcm.!default { type null }\n";
    setenv("HOME", (dir + "/home").c_str(), 1);
    if (modules.empty()) {
        for (const char *name : {"demo.xm", "demo.it"}) {
            std::string path = std::string(TESSEL_SAMPLES_DIR) + "/" + name;
            if (access(path.c_str(), R_OK) == 0)
                modules.push_back(path);
        }
        soundtest::SaveFile(dir + "/stress32.xm", StressModule());
        modules.push_back(dir + "/stress32.xm");
    }
    // openmpt123 writes its WAV next to the module: render copies in the scratch folder.
    std::vector<std::string> copies;
    for (const std::string &module : modules) {
        std::string copy = dir + "/" + std::filesystem::path(module).filename().string();
        if (copy != module)
            std::filesystem::copy_file(module, copy, std::filesystem::copy_options::overwrite_existing);
        copies.push_back(copy);
    }
    RenderCost(copies, dir, runs);
    HostRenderCost(copies, dir, 3 * runs); // pairs are cheap, and the noise is near the goal
    StartLatency(copies.front(), 20);
    PositionError(3);
    TrackChangeCost(copies.front(), 30);
    RefusalCost(dir, runs);
    std::filesystem::remove_all(dir);
    return 0;
}
