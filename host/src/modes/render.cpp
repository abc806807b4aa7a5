// tessel -o: each file through the plug-in into the sound library's offline output,
// which renders only as far as this host pulls: everything Play sets (the volume
// among it) applies from the first frame, and the same module gives the same file.
// The end comes as to any host, by the plug-in's message. What is left of each WAV is
// its transaction's to decide.
#include "modes/modes.h"

#include "modes/module_facts.h"
#include "modes/playlist.h"
#include "modes/wav_transaction.h"
#include "util/output.h"
#include "util/signals.h"
#include "util/text.h"

#include <soundlib/include/tessel_bass.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

namespace tessel::host {
namespace {

// Frames per pull: about 1.5 s of sound, which renders in a few milliseconds, so the
// progress line and a signal are seen promptly while the handovers stay rare.
constexpr uint32_t kPullFrames = 1 << 16;
// How long to wait for the plug-in's end message once the output has taken the last
// frame: its monitor thread looks several times a second.
constexpr DWORD kEndWaitMs = 5000;
// The host's full volume, which the plug-in turns into the library's 99 of 100.
constexpr int kFullVolume = 255;

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

// A WAV written over one of the modules would lose it, whatever name either goes by.
bool WritesOverAnInput(const std::vector<std::string> &files, const std::vector<std::string> &wavs, std::string &which)
{
    std::vector<FileIdentity> inputs;
    for (const std::string &file : files) {
        FileIdentity identity;
        if (IdentityOf(file, identity))
            inputs.push_back(identity);
    }
    for (const std::string &wav : wavs) {
        FileIdentity identity;
        bool known = wav == "-" ? IdentityOf("/dev/stdout", identity) : IdentityOf(wav, identity);
        if (known && std::find(inputs.begin(), inputs.end(), identity) != inputs.end()) {
            which = wav;
            return true;
        }
    }
    return false;
}

// How one file's render ended.
struct Rendered {
    enum Ending { DidNotPlay, Whole, Failed, Interrupted } ending = DidNotPlay;
    double seconds = 0;
    int end = TESSEL_END_NONE;
    std::string reason; // Failed: the output's error
};

// subsong, when not null, is where the render starts and how long it may last.
Rendered RenderFile(PluginHost &host, const std::string &file, const std::string &label, double maxSeconds,
                    const TesselBassSubsong *subsong)
{
    Rendered rendered;
    // One pass of a looping module, and never more than maxSeconds; a subsong, which
    // ends where another begins, no more than its own pass.
    uint32_t limitMs = uint32_t(maxSeconds * 1000 + 0.5);
    if (subsong && subsong->durationMs > 0)
        limitMs = std::min(limitMs, subsong->durationMs);
    TesselBass_SetOfflineLimit(limitMs, 1);
    host.Module().SetVolume(kFullVolume);
    if (!host.Play(file)) {
        host.Stop();
        if (PendingSignal())
            rendered.ending = Rendered::Interrupted;
        return rendered;
    }
    // Nothing is rendered before the first pull: the seek is where the sound begins.
    if (subsong)
        SeekToSubsong(host, *subsong);
    const bool showProgress = isatty(STDERR_FILENO);
    TesselBassStats stats{};
    const uint32_t rate = TesselBass_GetStats(&stats) && stats.rate ? stats.rate : 44100;
    const int length = host.Module().GetLength() / 1000;
    uint64_t frames = 0;
    // A signal cancels the library's waits: the pull returns at once.
    while (!PendingSignal()) {
        uint32_t pulled = TesselBass_Pull(kPullFrames, &rendered.end);
        if (pulled == 0)
            break;
        frames += pulled;
        host.Pump();
        if (showProgress)
            Progress(label, host.Module().GetOutputTime() / 1000, length, double(frames) / rate);
    }
    for (DWORD waited = 0; !host.Ended() && !PendingSignal() && waited < kEndWaitMs; waited += 100)
        host.PumpFor(100);
    // The library has closed its file, its header up to date.
    host.Stop();
    if (showProgress)
        std::fprintf(stderr, "\r\033[K");
    rendered.seconds = double(frames) / rate;
    char reason[512];
    if (PendingSignal()) {
        rendered.ending = Rendered::Interrupted;
    } else if (TesselBass_GetOutputError(reason, sizeof reason)) {
        rendered.ending = Rendered::Failed;
        rendered.reason = reason;
    } else {
        rendered.ending = Rendered::Whole;
    }
    return rendered;
}

// The interrupted render's fate, told, and the process ended by the signal.
[[noreturn]] void EndInterrupted(std::unique_ptr<WavTransaction> wav, const std::string &name)
{
    const char *what = "";
    switch (wav->KeepPartial()) {
    case WavTransaction::Partial::Kept:
        what = "holds what was rendered";
        break;
    case WavTransaction::Partial::LeftAsItWas:
        what = "is left as it was";
        break;
    case WavTransaction::Partial::Removed:
        what = "was not made: not a whole frame was rendered";
        break;
    case WavTransaction::Partial::Streamed:
        what = "got what was rendered until then";
        break;
    }
    wav.reset(); // the output restored before the process goes
    std::fprintf(stderr, "tessel: interrupted; %s %s\n", ForTerminal(name).c_str(), what);
    DieBySignal(PendingSignal());
}

} // namespace

bool RenderFormatOf(const std::string &out, bool &flac)
{
    flac = false;
    struct stat info {};
    if (out.back() == '/' || NamesStandardOutput(out) || (stat(out.c_str(), &info) == 0 && !S_ISREG(info.st_mode)))
        return true; // a folder's files are WAVs; a stream is a WAV unless named .flac
    std::string name = BaseName(out);
    size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    flac = extension == "flac";
    return flac || extension.empty() || extension == "wav";
}

int RunRender(PluginHost &host, const std::vector<std::string> &files, const std::string &out, double maxSeconds,
              int subsong)
{
    if (files.empty()) {
        std::fprintf(stderr, "tessel: nothing to render\n");
        return 1;
    }
    struct stat outInfo {};
    const bool toStdout = NamesStandardOutput(out);
    const bool outIsFolder = !toStdout && stat(out.c_str(), &outInfo) == 0 && S_ISDIR(outInfo.st_mode);
    // Several files, or a folder named as one: a WAV per file in that folder.
    const bool folder = files.size() > 1 || outIsFolder || out.back() == '/';
    if (folder) {
        struct stat info {};
        if (toStdout || (stat(out.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))) {
            std::fprintf(stderr, "tessel: with several files, -o names a folder; %s is not one\n",
                         ForTerminal(out).c_str());
            return 2;
        }
    }
    // Every WAV named before anything is written.
    std::set<std::string> taken;
    std::vector<std::string> wavs;
    for (const std::string &file : files)
        wavs.push_back(folder ? (out.back() == '/' ? out : out + "/") + WavName(file, taken) : out);
    if (std::string which; WritesOverAnInput(files, wavs, which)) {
        std::fprintf(stderr, "tessel: %s is one of the files to render; -o needs another name\n",
                     ForTerminal(which).c_str());
        return 2;
    }
    if (folder && !outIsFolder && mkdir(out.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "tessel: cannot create the folder %s: %s\n", ForTerminal(out).c_str(),
                     std::strerror(errno));
        return 1;
    }
    bool anyFailed = false;
    for (size_t index = 0; index < files.size(); ++index) {
        const std::string &file = files[index];
        const std::string &name = wavs[index];
        if (int signal = PendingSignal()) // during a file that did not play
            DieBySignal(signal);
        std::string error;
        int status = 1;
        bool flac = false;
        RenderFormatOf(name, flac);
        std::unique_ptr<WavTransaction> wav = WavTransaction::Begin(
            name, flac ? WavTransaction::Format::Flac : WavTransaction::Format::Wav, error, status);
        if (!wav) {
            if (int signal = PendingSignal()) // while waiting for a FIFO's reader
                DieBySignal(signal);
            std::fprintf(stderr, "tessel: cannot write %s: %s\n", ForTerminal(name).c_str(), error.c_str());
            return status;
        }
        const std::string label =
            (files.size() > 1 ? "[" + std::to_string(index + 1) + "/" + std::to_string(files.size()) + "] " : "") +
            ForTerminal(BaseName(file));
        // --subsong: its start and length, from the library.
        ModuleFacts facts;
        const TesselBassSubsong *chosen = nullptr;
        if (subsong > 0) {
            facts = FactsOf(file);
            if (facts.known && size_t(subsong) <= facts.subsongs.size()) {
                chosen = &facts.subsongs[size_t(subsong) - 1];
            } else {
                if (facts.known)
                    std::fprintf(stderr, "tessel: %s has no subsong %d (it has %zu)\n", ForTerminal(file).c_str(),
                                 subsong, facts.subsongs.size());
                else
                    std::fprintf(stderr, "tessel: %s did not play: the sound library cannot read its subsongs\n",
                                 ForTerminal(file).c_str());
                anyFailed = true;
                continue;
            }
        }
        const Rendered rendered = RenderFile(host, file, label, maxSeconds, chosen);
        switch (rendered.ending) {
        case Rendered::DidNotPlay:
            if (std::string reason = SystemReason(file); !reason.empty())
                std::fprintf(stderr, "tessel: %s did not play: %s\n", ForTerminal(file).c_str(), reason.c_str());
            else
                std::fprintf(stderr, "tessel: %s did not play\n", ForTerminal(file).c_str());
            anyFailed = true;
            continue; // its transaction abandoned
        case Rendered::Interrupted:
            EndInterrupted(std::move(wav), name);
        case Rendered::Failed:
            // A WAV cut short by a full disk is worse than none; a stream is what it is.
            std::fprintf(stderr, "tessel: %s was not written%s (%s)%s\n", ForTerminal(name).c_str(),
                         wav->Streamed() ? " whole" : "", rendered.reason.c_str(),
                         wav->Streamed() ? "" : "; it is left as it was");
            return 1;
        case Rendered::Whole:
            break;
        }
        if (!wav->Commit(error)) {
            std::fprintf(stderr, "tessel: cannot put the %s in place as %s: %s\n", flac ? "FLAC" : "WAV",
                         ForTerminal(name).c_str(), error.c_str());
            return 1;
        }
        const bool subsongEnd = chosen && chosen->durationMs > 0 && chosen->durationMs <= maxSeconds * 1000;
        const char *why = rendered.end == TESSEL_END_PASS                  ? ", ended where it loops"
                          : rendered.end == TESSEL_END_LIMIT && subsongEnd ? ", the subsong's length"
                          : rendered.end == TESSEL_END_LIMIT               ? ", cut at --max-time"
                                                                           : "";
        // The lines never go into the WAV's own stream.
        if (wav->SharesStdout()) {
            std::fprintf(stderr, "%s -> %s (%.2f s%s)\n", ForTerminal(file).c_str(), ForTerminal(name).c_str(),
                         rendered.seconds, why);
        } else {
            // A failed line does not stop the renders: main reports it and exits 1.
            Print("%s -> %s (%.2f s%s)\n", ForTerminal(file).c_str(), ForTerminal(name).c_str(), rendered.seconds, why);
            Flush();
        }
    }
    return anyFailed ? 1 : 0;
}

} // namespace tessel::host
