// The player: a playlist through the plug-in, one file at a time, as a media player
// drives an input plug-in (Play, the end message, Stop, the next Play).
#include "modes/modes.h"

#include "modes/module_facts.h"
#include "modes/playlist.h"
#include "util/output.h"
#include "util/signals.h"
#include "util/text.h"

#include <curses.h>

#include <soundlib/include/tessel_bass.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>

namespace tessel::host {
namespace {

constexpr int kFrameMs = 50;    // screen refresh and key wait
constexpr int kVolumeStep = 16; // of the host's 0..255
constexpr int kMaxVolume = 255;
// A seek is heard after the output's latency; until then further seeks count from
// where the last one went, not from the position still reported.
constexpr auto kSeekSettle = std::chrono::milliseconds(1000);
// The highest order position the plug-in's seek can name.
constexpr int kLastOrder = 0xFFFE;
// How long a failed file's messages stay before the player moves on by itself.
constexpr auto kMessageTime = std::chrono::seconds(3);
constexpr int kKeyLines = 2;
constexpr int kMaxMessageLines = 6;

// "m:ss" of a time in milliseconds; "-:--" when unknown (0).
std::string Time(uint32_t ms)
{
    if (ms == 0)
        return "-:--";
    char text[16];
    std::snprintf(text, sizeof text, "%u:%02u", ms / 60000, ms / 1000 % 60);
    return text;
}

// A peak 0..1 as a bar over the top 48 dB, as level meters show loudness.
std::string Meter(float peak, int width)
{
    constexpr double kRangeDb = 48;
    double level = peak > 0 ? (20 * std::log10(double(peak)) + kRangeDb) / kRangeDb : 0;
    int filled = int(std::clamp(level, 0.0, 1.0) * width + 0.5);
    return "[" + std::string(size_t(filled), '|') + std::string(size_t(width - filled), ' ') + "]";
}

struct Entry {
    std::string path;
    std::string title;
    int lengthMs = 0;
    bool played = false;
    bool failed = false;
    bool outputFailed = false; // played, but the output failed under it
    int subsong = 0;           // 1-based; 0: the file from order 0, as the plug-in plays it
    int subsongs = 0;          // of the file, once its first entry started
    TesselBassSubsong start{}; // where the subsong starts, how long it lasts
    uint32_t nextStart = 0;    // the order where the next subsong of the list starts; 0: none
    bool expanded = false;     // the file's subsongs were looked up

    // "FILE #2/4" for a file of several subsongs, else the file.
    std::string Name() const
    {
        if (subsongs < 2)
            return path;
        return path + " #" + std::to_string(subsong) + "/" + std::to_string(subsongs);
    }
};

class Player {
public:
    Player(PluginHost &host, Terminal *terminal, const std::vector<std::string> &files, const PlayOrder &order)
        : host_(host), terminal_(terminal), order_(order), subsong_(order.subsong)
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
        if (order_.shuffle)
            Shuffle();
        size_t index = 0;
        while (index < entries_.size() && !quit_ && !PendingSignal()) {
            index_ = index;
            next_ = index + 1;
            bool started = Start();
            bool endedByItself = false;
            if (started) {
                failuresInRow_ = 0;
                endedByItself = terminal_ ? Interact() : Wait();
            } else {
                ++failuresInRow_;
                if (terminal_)
                    Interact(Waiting() ? std::nullopt : std::optional(Now() + kMessageTime));
                else if (Waiting())
                    break;
            }
            host_.Stop();
            playing_ = false;
            if (started && ReportOutputError()) // it outlives the Stop, until the next Play
                endedByItself = false;
            if (endedByItself && pass_ <= order_.loops) {
                ++pass_;
                next_ = index_;
            } else {
                pass_ = 1;
            }
            if (next_ >= entries_.size() && order_.repeat) {
                next_ = 0;
                if (order_.shuffle)
                    Shuffle();
            }
            index = next_;
        }
        if (terminal_)
            terminal_->SetBackground(nullptr);
        bool anyFailed = std::any_of(entries_.begin(), entries_.end(), [](const Entry &e) { return e.failed; });
        return anyFailed ? 1 : 0;
    }

private:
    using Clock = std::chrono::steady_clock;
    static Clock::time_point Now() { return Clock::now(); }

    // The list in a new random order; the numbers on screen follow it.
    void Shuffle()
    {
        static std::mt19937 random{std::random_device{}()};
        std::shuffle(entries_.begin(), entries_.end(), random);
    }

    // Why a file does not play, where the user sees it.
    void Tell(const std::string &text)
    {
        if (terminal_)
            messages_.push_back(text);
        else
            std::fprintf(stderr, "tessel: %s\n", ForTerminal(text).c_str());
    }

    // Looks up the subsongs of the entry's file when it first comes to play: the
    // chosen one (--subsong), or each in turn as entries of their own after this one.
    // False with a message when the chosen one is not there.
    bool Expand()
    {
        Entry &entry = entries_[index_];
        if (entry.expanded)
            return true;
        entry.expanded = true;
        ModuleFacts facts = FactsOf(entry.path);
        if (!facts.known)
            return subsong_ == 0; // the plug-in says why it does not play
        int count = int(facts.subsongs.size());
        if (subsong_ > count) {
            entry.failed = true;
            Tell(entry.path + " has no subsong " + std::to_string(subsong_) + " (it has " + std::to_string(count) +
                 ")");
            return false;
        }
        if (subsong_ == 0 && count < 2)
            return true;
        std::vector<Entry> added;
        for (int n = subsong_ ? subsong_ : 1; n <= (subsong_ ? subsong_ : count); ++n) {
            Entry one = entry;
            one.subsong = n;
            one.subsongs = count;
            one.start = facts.subsongs[size_t(n - 1)];
            for (const TesselBassSubsong &other : facts.subsongs)
                if (other.startOrder > one.start.startOrder && (one.nextStart == 0 || other.startOrder < one.nextStart))
                    one.nextStart = other.startOrder;
            added.push_back(one);
        }
        entry = added[0];
        entries_.insert(entries_.begin() + std::ptrdiff_t(index_ + 1), added.begin() + 1, added.end());
        return true;
    }

    bool Start()
    {
        seeking_ = false;
        messages_.clear();
        if (!Expand())
            return false;
        Entry &entry = entries_[index_];
        if (terminal_) {
            terminal_->Redraw();
            // The plug-in's boxes about this file go to the message line.
            terminal_->CollectBoxes([this](const std::string &caption, const std::string &text) {
                for (const std::string &line : SplitLines(text))
                    messages_.push_back(caption + ": " + line);
            });
        }
        playing_ = host_.Play(entry.path);
        if (terminal_)
            terminal_->CollectBoxes(nullptr);
        entry.played = true;
        if (!playing_) {
            entry.failed = true;
            std::string reason = SystemReason(entry.path);
            if (terminal_ && !reason.empty())
                messages_.push_back(entry.path + ": " + reason);
            if (!terminal_)
                std::fprintf(stderr, "tessel: %s did not play%s\n", ForTerminal(entry.path).c_str(),
                             reason.empty() ? "" : (": " + reason).c_str());
            return false;
        }
        host_.Module().SetVolume(volume_);
        host_.FileInfo("", entry.title, entry.lengthMs);
        for (Entry &other : entries_) // the file's other subsongs, listed by the same title
            if (other.path == entry.path && other.subsong > 0 && !other.played)
                other.title = entry.title;
        if (entry.subsong > 0)
            SeekToSubsong(host_, entry.start);
        if (entry.start.startOrder > 0) {
            // Heard after the output's latency: until then the position is the start.
            seeking_ = true;
            seekTarget_ = int(entry.start.startOrder);
            seekTime_ = Clock::now();
        }
        if (!terminal_) {
            StreamInfo info = host_.Info();
            TesselBassStats stats{};
            TesselBassPlaying heard{};
            TesselBass_GetStats(&stats);
            TesselBass_GetPlaying(&heard);
            Print("Playing %s (%s): %d channels, %d kHz, %s, %d order positions, %s, output at %u Hz%s\n",
                  ForLocale(ForPeople(entry.Name())).c_str(), ForLocale(ForPeople(entry.title)).c_str(), info.channels,
                  info.rateKhz, info.outputChannels == 1 ? "mono" : "stereo", entry.lengthMs / 1000,
                  Time(LengthMs(heard)).c_str(), stats.rate, PassText().c_str());
            if (!Flush())
                quit_ = true; // main reports it
        }
        return true;
    }

    // The song's length, or a subsong's own (libopenmpt counts its time from its start).
    uint32_t LengthMs(const TesselBassPlaying &heard) const
    {
        const Entry &entry = entries_[index_];
        return entry.subsong > 0 && entry.start.durationMs > 0 ? entry.start.durationMs : heard.lengthMs;
    }

    // ", pass 2 of 3" while --loop plays a module again; "" without it.
    std::string PassText() const
    {
        if (order_.loops == 0)
            return "";
        return ", pass " + std::to_string(pass_) + " of " + std::to_string(order_.loops + 1);
    }

    // A device lost or a WAV write failed during playback ends the music as if it
    // were over; the user learns why here (in the message line for a while), and the
    // exit status says so. True when it had failed.
    bool ReportOutputError()
    {
        char reason[512];
        if (!TesselBass_GetOutputError(reason, sizeof reason))
            return false;
        Entry &entry = entries_[index_];
        entry.failed = entry.outputFailed = true;
        std::string text = "The sound output failed while playing " + entry.path + ": " + reason;
        if (terminal_) {
            messages_ = {text};
            if (!leave_ && !quit_)
                Interact(Now() + kMessageTime);
        } else {
            std::fprintf(stderr, "tessel: %s\n", ForTerminal(text).c_str());
        }
        return true;
    }

    // Without a terminal: until the end message, or a signal. True when the music
    // ended by itself.
    bool Wait()
    {
        while (!host_.Ended() && !LeftSubsong() && !PendingSignal() && !quit_)
            host_.PumpFor(kFrameMs);
        return host_.Ended() || LeftSubsong();
    }

    // Until the music ends (true), a key moves on, or a signal comes. Stopped with a
    // deadline (a failed file's messages up), also until the deadline, or any key
    // that has nothing else to do.
    bool Interact(std::optional<Clock::time_point> deadline = std::nullopt)
    {
        deadline_ = deadline;
        for (;;) {
            host_.Pump();
            bool ended = playing_ && (host_.Ended() || LeftSubsong());
            bool timeUp = deadline_ && Now() >= *deadline_ && typed_.empty() && !terminal_->DialogOpen();
            if (PendingSignal() || quit_ || leave_ || ended || timeUp) {
                leave_ = false;
                deadline_.reset();
                return ended;
            }
            terminal_->Redraw();
            int key = terminal_->ReadKey(kFrameMs);
            if (key != ERR && !HandleKey(key) && deadline_)
                leave_ = true;
        }
    }

    void GoTo(size_t index)
    {
        next_ = index;
        leave_ = true;
    }

    // False for a key that does nothing here.
    bool HandleKey(int key)
    {
        if (terminal_->DialogKey(key) || key == KEY_RESIZE)
            return true;
        In_Module &module = host_.Module();
        if (key >= '0' && key <= '9') {
            if (typed_.size() < 9)
                typed_.push_back(char(key));
            return true;
        }
        if (!typed_.empty()) {
            // Digits, then Enter: that entry of the playlist. Anything else forgets them.
            bool enter = key == '\r' || key == '\n' || key == KEY_ENTER;
            size_t entry = std::stoul(typed_);
            typed_.clear();
            if (enter && entry >= 1 && entry <= entries_.size())
                GoTo(entry - 1);
            if (enter || key == 27 || key == KEY_BACKSPACE)
                return true;
        }
        switch (key) {
        case ' ':
            if (!playing_)
                return false;
            module.IsPaused() ? module.UnPause() : module.Pause();
            break;
        case KEY_LEFT:
        case KEY_RIGHT:
            if (!playing_)
                return false;
            Seek(key == KEY_LEFT ? -1 : +1);
            break;
        case KEY_UP:
        case KEY_DOWN:
            volume_ = std::clamp(volume_ + (key == KEY_UP ? kVolumeStep : -kVolumeStep), 0, kMaxVolume);
            if (playing_)
                module.SetVolume(volume_);
            break;
        case 'n':
            GoTo(index_ + 1);
            break;
        case 'p':
            GoTo(index_ > 0 ? index_ - 1 : 0);
            break;
        case '<':
        case '>':
            GoToSubsong(key == '<' ? -1 : +1);
            break;
        case KEY_HOME:
            GoTo(0);
            break;
        case KEY_END:
            GoTo(entries_.size() - 1);
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
            return false;
        }
        return true;
    }

    // A subsong that starts later in the order list is over when the song goes back
    // before its start, as it does at the end of the list.
    bool LeftSubsong()
    {
        const Entry &entry = entries_[index_];
        return playing_ && entry.start.startOrder > 0 && Position() < int(entry.start.startOrder);
    }

    // The entry of the same file's subsong step away from this one, if there is one.
    void GoToSubsong(int step)
    {
        const Entry &entry = entries_[index_];
        for (size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].path == entry.path && entry.subsong > 0 && entries_[i].subsong == entry.subsong + step)
                GoTo(i);
    }

    // Stopped, until a key moves on, after a whole pass through a repeated list in
    // which no file played: going round again would only fail again.
    bool Waiting() const { return !playing_ && order_.repeat && failuresInRow_ >= int(entries_.size()); }

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
        const Entry &entry = entries_[index_];
        const int length = host_.Module().GetLength() / 1000;
        // Within the playing subsong: from its start to the song's end, and short of
        // where the next subsong starts. Past the song's end marker the end of the last
        // subsong is unknown here; the plug-in refuses a seek past the order list.
        const int first = int(entry.start.startOrder);
        int last = first < length || first == 0 ? length - 1 : kLastOrder;
        if (entry.nextStart > entry.start.startOrder)
            last = std::min(last, int(entry.nextStart) - 1);
        int target = std::clamp(Position() + delta, first, std::max(first, last));
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
        row(3, "File", entry.Name());
        StreamInfo info = host_.Info();
        std::string stream;
        // A file that did not play told the host its channels before it failed.
        if (info.known && playing_)
            stream = std::to_string(info.channels) + " channels, " + std::to_string(info.rateKhz) + " kHz, " +
                     (info.outputChannels == 1 ? "mono" : "stereo");
        TesselBassStats stats{};
        if (playing_ && TesselBass_GetStats(&stats) && stats.rate)
            stream += ", output at " + std::to_string(stats.rate) + " Hz";
        row(4, "Stream", stream);

        TesselBassPlaying heard{};
        if (playing_ && TesselBass_GetPlaying(&heard)) {
            std::string time = Time(heard.positionMs) + " / " + Time(LengthMs(heard)) + "  ";
            int barWidth = std::max(10, std::min(50, valueWidth - int(time.size()) - 2));
            row(6, "Time", time + ProgressBar(int(heard.positionMs / 100), int(LengthMs(heard) / 100), barWidth));
            int meterWidth = std::max(4, std::min(30, (valueWidth - 10) / 2));
            row(8, "Level", "L " + Meter(heard.peakLeft, meterWidth) + "  R " + Meter(heard.peakRight, meterWidth));
        } else {
            row(6, "Time", "");
            row(8, "Level", "");
        }
        if (playing_) {
            int length = module.GetLength() / 1000;
            row(7, "Position",
                std::to_string(Position()) + " / " + std::to_string(length) + "  row " + std::to_string(heard.row));
            row(9, "State", (module.IsPaused() ? "paused" : "playing") + PassText());
        } else {
            row(7, "Position", "");
            std::string state = entry.outputFailed ? "the output failed" : entry.failed ? "did not play" : "stopped";
            if (Waiting())
                state = "no file of the list played";
            row(9, "State", state);
        }
        int percent = (volume_ * 100 + kMaxVolume / 2) / kMaxVolume;
        row(10, "Volume", ProgressBar(volume_, kMaxVolume, 16) + " " + std::to_string(percent) + "%");

        // The message line grows to hold a failed file's messages.
        std::vector<std::string> messageLines;
        for (const std::string &message : messages_)
            for (const std::string &line : WrapLines(message, size_t(std::max(10, width - 2))))
                messageLines.push_back(line);
        int bottomLines = kKeyLines;
        if (!messageLines.empty())
            bottomLines = std::clamp(int(messageLines.size()) + 1, kKeyLines, kMaxMessageLines);
        PutText(12, labelX, "Playlist", valueWidth);
        int first = 13, last = LINES - bottomLines - 2;
        size_t top = 0;
        if (last >= first && int(index_) > last - first)
            top = index_ - size_t(last - first);
        for (size_t i = top; i < entries_.size() && first + int(i - top) <= last; ++i) {
            const Entry &e = entries_[i];
            std::string line = (i == index_ ? "> " : "  ") + std::to_string(i + 1) + ". " + e.title;
            if (e.subsongs > 1)
                line += " #" + std::to_string(e.subsong) + "/" + std::to_string(e.subsongs);
            if (e.outputFailed)
                line += "  (output failed)";
            else if (e.failed)
                line += "  (did not play)";
            else if (e.lengthMs < 0)
                line += "  (cannot open)";
            else if (e.played && e.lengthMs > 0)
                line += "  (" + std::to_string(e.lengthMs / 1000) + " positions)";
            PutText(first + int(i - top), labelX, line, width - labelX - 1);
        }
        mvhline(LINES - bottomLines - 1, 0, ACS_HLINE, width);
        int y = LINES - bottomLines;
        for (size_t i = 0; i < messageLines.size() && y < LINES - 1; ++i)
            PutText(y++, 1, messageLines[i], width - 2);
        if (!typed_.empty()) {
            PutText(messages_.empty() ? LINES - 2 : LINES - 1, 1,
                    "Go to entry " + typed_ + "  (Enter goes, Escape forgets)", width - 2);
        } else if (Waiting()) {
            PutText(LINES - 1, 1, "no file played:  n next  p previous  c configuration  q quit", width - 2);
        } else if (deadline_) {
            auto left = std::chrono::ceil<std::chrono::seconds>(std::max(*deadline_ - Now(), Clock::duration(0)));
            PutText(LINES - 1, 1, "moving on in " + std::to_string(left.count()) + " s, or at any key", width - 2);
        } else if (!messages_.empty()) {
            // Stopped after the output failed, on the way out.
        } else {
            PutText(LINES - 2, 1, "space pause  left/right seek  up/down volume  n/p entry  </> subsong  q quit",
                    width - 2);
            PutText(LINES - 1, 1, "digits Enter go to entry  Home/End first/last  i info  c configuration", width - 2);
        }
    }

    PluginHost &host_;
    std::string typed_; // digits of a playlist entry to go to
    int failuresInRow_ = 0;
    Terminal *terminal_;
    PlayOrder order_;
    int subsong_;                               // --subsong, 0 without it
    int pass_ = 1;                              // of order_.loops + 1
    std::vector<std::string> messages_;         // the last file's boxes and reasons
    std::optional<Clock::time_point> deadline_; // while stopped: when to move on
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

int RunPlayer(PluginHost &host, Terminal *terminal, const std::vector<std::string> &files, const PlayOrder &order)
{
    if (files.empty()) {
        std::fprintf(stderr, "tessel: nothing to play\n");
        return 1;
    }
    return Player(host, terminal, files, order).Run();
}

} // namespace tessel::host
