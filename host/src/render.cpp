// tessel -o: each file through the plug-in into the sound library's WAV output, as
// fast as the machine renders, with a progress line on a terminal.
#include "modes.h"

#include "signals.h"
#include "text.h"

#include <soundlib/include/tessel_bass.h>

#include <libopenmpt/libopenmpt.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace tessel::host {
namespace {

// How often the output is looked at. The render runs hundreds of times faster than
// real time, so a looping module is stopped late and cut back afterwards.
constexpr DWORD kPollMs = 1;
// Sound past one pass that tells a looping module from one that ends (with its fade).
constexpr double kLoopMarginSeconds = 1.0;
constexpr size_t kWavHeaderBytes = 44;

// One pass through the module as libopenmpt plays it, in seconds; 0 when unknown.
double PassSeconds(const std::string &file)
{
    std::ifstream stream(file, std::ios::binary);
    if (!stream)
        return 0;
    try {
        std::ostringstream silence; // libopenmpt's log, unwanted here
        openmpt::module module(stream, silence);
        return module.get_duration_seconds();
    } catch (...) {
        return 0;
    }
}

void PutLe32(uint8_t *at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(value >> (8 * i));
}

// Cuts the sound library's WAV (44-byte header) to frames frames, sizes included.
bool CutWav(const std::string &path, uint64_t frames)
{
    std::FILE *file = std::fopen(path.c_str(), "r+b");
    if (!file)
        return false;
    uint8_t header[kWavHeaderBytes];
    bool ok = std::fread(header, 1, sizeof header, file) == sizeof header;
    uint32_t blockAlign = ok ? uint32_t(header[32] | header[33] << 8) : 0;
    uint64_t dataBytes = frames * blockAlign;
    uint32_t present = ok ? uint32_t(header[40] | header[41] << 8 | header[42] << 16 | uint32_t(header[43]) << 24) : 0;
    ok = ok && blockAlign > 0 && dataBytes <= present;
    if (ok) {
        PutLe32(header + 4, uint32_t(dataBytes + kWavHeaderBytes - 8));
        PutLe32(header + 40, uint32_t(dataBytes));
        ok = std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, file) == sizeof header &&
             std::fflush(file) == 0 && ftruncate(fileno(file), off_t(kWavHeaderBytes + dataBytes)) == 0;
    }
    return std::fclose(file) == 0 && ok;
}

// The name of the WAV for file in a folder: its name with the extension replaced,
// made unique among the names already given out in this run.
std::string WavName(const std::string &file, std::set<std::string> &taken)
{
    std::string name = BaseName(file);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    if (name.empty())
        name = "module";
    std::string candidate = name + ".wav";
    for (int n = 2; taken.count(candidate); ++n)
        candidate = name + "-" + std::to_string(n) + ".wav";
    taken.insert(candidate);
    return candidate;
}

void Progress(const std::string &label, int order, int length, double seconds)
{
    std::fprintf(stderr, "\r\033[K%s  order %d/%d %s %6.1f s", label.c_str(), order, length,
                 ProgressBar(order, length, 20).c_str(), seconds);
    std::fflush(stderr);
}

} // namespace

int RunRender(PluginHost &host, const std::vector<std::string> &files, const std::string &out, double maxSeconds)
{
    struct stat outInfo {};
    const bool outIsFolder = stat(out.c_str(), &outInfo) == 0 && S_ISDIR(outInfo.st_mode);
    // Several files, or a folder named as one: a WAV per file in that folder.
    const bool folder = files.size() > 1 || outIsFolder || out.back() == '/';
    if (files.empty()) {
        std::fprintf(stderr, "tessel: nothing to render\n");
        return 1;
    }
    if (folder) {
        struct stat info {};
        if (stat(out.c_str(), &info) != 0) {
            if (mkdir(out.c_str(), 0777) != 0) {
                std::fprintf(stderr, "tessel: cannot create the folder %s: %s\n", out.c_str(), std::strerror(errno));
                return 1;
            }
        } else if (!S_ISDIR(info.st_mode)) {
            std::fprintf(stderr, "tessel: with several files, -o names a folder; %s is not one\n", out.c_str());
            return 2;
        }
    }
    const bool showProgress = isatty(STDERR_FILENO);
    std::set<std::string> taken;
    bool anyFailed = false;

    for (size_t index = 0; index < files.size(); ++index) {
        const std::string &file = files[index];
        const std::string wav = folder ? (out.back() == '/' ? out : out + "/") + WavName(file, taken) : out;
        if (std::FILE *probe = std::fopen(wav.c_str(), "ab")) {
            std::fclose(probe);
        } else {
            std::fprintf(stderr, "tessel: cannot write %s: %s\n", wav.c_str(), std::strerror(errno));
            return 1;
        }
        if (!TesselBass_SetOutput(TESSEL_OUTPUT_WAV, wav.c_str())) {
            std::fprintf(stderr, "tessel: the sound library refused the WAV output %s\n", wav.c_str());
            return 1;
        }
        const std::string label =
            (files.size() > 1 ? "[" + std::to_string(index + 1) + "/" + std::to_string(files.size()) + "] " : "") +
            BaseName(file);
        if (!host.Play(file)) {
            host.Stop();
            // BASS_Init made the file before the module failed to load.
            unlink(wav.c_str());
            std::fprintf(stderr, "tessel: %s did not play\n", file.c_str());
            anyFailed = true;
            continue;
        }

        // A looping module never ends by itself: rendering stops a little past its
        // first pass (or at maxSeconds), and the file is cut back to the pass (or to
        // maxSeconds) exactly, since the render runs far ahead of anything polling it.
        const double pass = PassSeconds(file);
        const bool passLimited = pass > 0 && pass + kLoopMarginSeconds < maxSeconds;
        const double limit = passLimited ? pass + kLoopMarginSeconds : maxSeconds;
        const int length = host.Module().GetLength() / 1000;
        double seconds = 0;
        TesselBassStats stats{};
        uint32_t rate = 0;
        while (!host.Ended() && !PendingSignal() && seconds < limit) {
            host.PumpFor(kPollMs);
            if (TesselBass_GetStats(&stats) && stats.rate) {
                rate = stats.rate;
                seconds = double(stats.framesWritten) / stats.rate;
            }
            if (showProgress)
                Progress(label, host.Module().GetOutputTime() / 1000, length, seconds);
        }
        const bool cut = seconds >= limit && !host.Ended();
        host.Stop();
        if (showProgress)
            std::fprintf(stderr, "\r\033[K");
        if (int signal = PendingSignal()) {
            std::fprintf(stderr, "tessel: interrupted; %s holds what was rendered\n", wav.c_str());
            DieBySignal(signal);
        }
        if (cut) {
            seconds = passLimited ? pass : maxSeconds;
            if (!CutWav(wav, uint64_t(seconds * rate + 0.5))) {
                std::fprintf(stderr, "tessel: cannot cut %s to length\n", wav.c_str());
                anyFailed = true;
            }
        }
        std::printf("%s -> %s (%.2f s%s)\n", file.c_str(), wav.c_str(), seconds,
                    !cut ? "" : passLimited ? ", ended where it loops" : ", cut at --max-time");
        std::fflush(stdout);
    }
    TesselBass_SetOutput(TESSEL_OUTPUT_DEVICE, nullptr);
    return anyFailed ? 1 : 0;
}

} // namespace tessel::host
