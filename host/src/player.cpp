// The player: a playlist through the plug-in, one file at a time, as a media player
// drives an input plug-in (Play, the end message, Stop, the next Play).
#include "modes.h"

#include "output.h"
#include "signals.h"
#include "text.h"

#include <curses.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace tessel::host {
namespace {

constexpr int kFrameMs = 50;          // screen refresh and key wait
constexpr int kVolumeStep = 16;       // of the host's 0..255
constexpr int kMaxVolume = 255;
// A seek is heard after the output's latency; until then further seeks count from
// where the last one went, not from the position still reported.
constexpr auto kSeekSettle = std::chrono::milliseconds(1000);

struct Entry {
    std::string path;
    std::string title;
    int lengthMs = 0;
    bool played = false;
    bool failed = false;
};

class Player {
public:
    Player(PluginHost &host, Terminal *terminal, const std::vector<std::string> &files)
        : host_(host), terminal_(terminal)
    {
        for (const std::string &file : files) {
            Entry entry;
            entry.path = file;
            host_.FileInfo(file, entry.title, entry.lengthMs);
            entries_.push_back(entry);
        }
    }

    int Run()
    {
        if (terminal_)
            terminal_->SetBackground([this] { Draw(); });
        size_t index = 0;
        while (index < entries_.size() && !quit_ && !PendingSignal()) {
            index_ = index;
            next_ = index + 1;
            if (Start())
                terminal_ ? Interact() : Wait();
            host_.Stop();
            playing_ = false;
            index = next_;
        }
        if (terminal_)
            terminal_->SetBackground(nullptr);
        bool anyFailed = std::any_of(entries_.begin(), entries_.end(), [](const Entry &e) { return e.failed; });
        return anyFailed ? 1 : 0;
    }

private:
    bool Start()
    {
        Entry &entry = entries_[index_];
        seeking_ = false;
        if (terminal_)
            terminal_->Redraw();
        playing_ = host_.Play(entry.path);
        entry.played = true;
        if (!playing_) {
            entry.failed = true;
            if (!terminal_)
                std::fprintf(stderr, "tessel: %s did not play\n", entry.path.c_str());
            return false;
        }
        host_.Module().SetVolume(volume_);
        host_.FileInfo("", entry.title, entry.lengthMs);
        if (!terminal_) {
            StreamInfo info = host_.Info();
            Print("Playing %s (%s): %d channels, %d kHz, %s, %d order positions\n", entry.path.c_str(),
                        Printable(entry.title).c_str(), info.channels, info.rateKhz,
                        info.outputChannels == 1 ? "mono" : "stereo", entry.lengthMs / 1000);
            if (!Flush())
                quit_ = true; // main reports it
        }
        return true;
    }

    // Without a terminal: until the end message, or a signal.
    void Wait()
    {
        while (!host_.Ended() && !PendingSignal() && !quit_)
            host_.PumpFor(kFrameMs);
    }

    void Interact()
    {
        for (;;) {
            host_.Pump();
            if (PendingSignal() || quit_ || leave_ || host_.Ended()) {
                leave_ = false;
                return;
            }
            terminal_->Redraw();
            int key = terminal_->ReadKey(kFrameMs);
            if (key != ERR)
                HandleKey(key);
        }
    }

    void HandleKey(int key)
    {
        if (terminal_->DialogKey(key))
            return;
        In_Module &module = host_.Module();
        switch (key) {
        case ' ':
            module.IsPaused() ? module.UnPause() : module.Pause();
            break;
        case KEY_LEFT:
            Seek(-1);
            break;
        case KEY_RIGHT:
            Seek(+1);
            break;
        case KEY_UP:
            volume_ = std::min(kMaxVolume, volume_ + kVolumeStep);
            module.SetVolume(volume_);
            break;
        case KEY_DOWN:
            volume_ = std::max(0, volume_ - kVolumeStep);
            module.SetVolume(volume_);
            break;
        case 'n':
            next_ = index_ + 1;
            leave_ = true;
            break;
        case 'p':
            next_ = index_ > 0 ? index_ - 1 : 0;
            leave_ = true;
            break;
        case 'i':
            module.InfoBox(entries_[index_].path.c_str(), host_.MainWindow());
            break;
        case 'c':
            module.Config(host_.MainWindow());
            break;
        case 'q':
        case 'Q':
            quit_ = true;
            break;
        default:
            break;
        }
    }

    int Position()
    {
        int reported = host_.Module().GetOutputTime() / 1000;
        if (seeking_) {
            if (reported == seekTarget_ || std::chrono::steady_clock::now() - seekTime_ > kSeekSettle)
                seeking_ = false;
            else
                return seekTarget_;
        }
        return reported;
    }

    void Seek(int delta)
    {
        int length = host_.Module().GetLength() / 1000;
        int target = std::clamp(Position() + delta, 0, std::max(0, length - 1));
        host_.Module().SetOutputTime(target * 1000);
        seeking_ = true;
        seekTarget_ = target;
        seekTime_ = std::chrono::steady_clock::now();
    }

    void Draw()
    {
        const Entry &entry = entries_[index_];
        In_Module &module = host_.Module();
        int width = COLS;
        PutText(0, 1, std::string("tessel  -  ") + (module.description ? module.description : ""), width - 16);
        std::string counter = "file " + std::to_string(index_ + 1) + " of " + std::to_string(entries_.size());
        PutText(0, std::max(8, width - int(counter.size()) - 1), counter, int(counter.size()));
        mvhline(1, 0, ACS_HLINE, width);

        const int labelX = 2, valueX = 13, valueWidth = width - valueX - 1;
        auto row = [&](int y, const char *label, const std::string &value) {
            PutText(y, labelX, label, valueX - labelX);
            PutText(y, valueX, value, valueWidth);
        };
        row(2, "Title", playing_ ? entry.title : "");
        row(3, "File", entry.path);
        StreamInfo info = host_.Info();
        std::string stream;
        if (info.known)
            stream = std::to_string(info.channels) + " channels, " + std::to_string(info.rateKhz) + " kHz, " +
                     (info.outputChannels == 1 ? "mono" : "stereo");
        row(4, "Stream", stream);

        if (playing_) {
            int length = module.GetLength() / 1000;
            int position = Position();
            std::string where = std::to_string(position) + " / " + std::to_string(length) + "  ";
            int barWidth = std::max(10, std::min(50, valueWidth - int(where.size()) - 2));
            row(6, "Position", where + ProgressBar(position, length, barWidth));
            row(7, "State", module.IsPaused() ? "paused" : "playing");
        } else {
            row(6, "Position", "");
            row(7, "State", entries_[index_].failed ? "did not play" : "stopped");
        }
        int percent = (volume_ * 100 + kMaxVolume / 2) / kMaxVolume;
        row(8, "Volume", ProgressBar(volume_, kMaxVolume, 16) + " " + std::to_string(percent) + "%");

        PutText(10, labelX, "Playlist", valueWidth);
        int first = 11, last = LINES - 3;
        size_t top = 0;
        if (int(index_) > last - first)
            top = index_ - size_t(last - first);
        for (size_t i = top; i < entries_.size() && first + int(i - top) <= last; ++i) {
            const Entry &e = entries_[i];
            std::string line = (i == index_ ? "> " : "  ") + std::to_string(i + 1) + ". " + e.title;
            if (e.failed)
                line += "  (did not play)";
            else if (e.lengthMs < 0)
                line += "  (cannot open)";
            else if (e.played && e.lengthMs > 0)
                line += "  (" + std::to_string(e.lengthMs / 1000) + " positions)";
            PutText(first + int(i - top), labelX, line, width - labelX - 1);
        }
        mvhline(LINES - 2, 0, ACS_HLINE, width);
        PutText(LINES - 1, 1,
                "space pause  left/right seek  up/down volume  n/p next/prev  i info  c config  q quit",
                width - 2);
    }

    PluginHost &host_;
    Terminal *terminal_;
    std::vector<Entry> entries_;
    size_t index_ = 0;
    size_t next_ = 1;
    bool playing_ = false;
    bool quit_ = false;
    bool leave_ = false; // n or p: on to next_
    int volume_ = kMaxVolume;
    bool seeking_ = false;
    int seekTarget_ = 0;
    std::chrono::steady_clock::time_point seekTime_;
};

} // namespace

int RunPlayer(PluginHost &host, Terminal *terminal, const std::vector<std::string> &files)
{
    if (files.empty()) {
        std::fprintf(stderr, "tessel: nothing to play\n");
        return 1;
    }
    return Player(host, terminal, files).Run();
}

} // namespace tessel::host
