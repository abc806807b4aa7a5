#include "engine.h"

#include "bass.h"
#include "mixer.h"
#include "output_choice.h"
#include "output_file.h"

#include <algorithm>
#include <chrono>

namespace tessel::sound {
namespace {

// libopenmpt's range of sample rates.
constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 192000;
// BASS's range of channel frequencies.
constexpr int kMinFreq = 100;
constexpr int kMaxFreq = 100000;

// A new start or a move: the orders entered so far no longer count.
void RestartTrack(Music::RenderState &render, uint32_t position)
{
    std::fill(render.entered.begin(), render.entered.end(), false);
    render.lastOrder = position & 0xFFFF;
    if (render.lastOrder < render.entered.size())
        render.entered[render.lastOrder] = true;
    render.songOver = false;
}

// After each rendered chunk: has a music that does not loop come back to an order it
// has played (the song's end)?
void TrackOrders(Music &music)
{
    Music::RenderState &render = music.render;
    uint32_t order = music.CurrentPosition() & 0xFFFF;
    if (music.Loops() || render.songOver || order == render.lastOrder)
        return;
    render.lastOrder = order;
    if (order >= render.entered.size())
        return;
    if (render.entered[order])
        render.songOver = true;
    render.entered[order] = true;
}

// The level meter's window: peaks of what was heard over this last stretch.
constexpr uint32_t kPeakWindowMs = 50;

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

Engine &Engine::Instance()
{
#ifdef _WIN32
    // Never destroyed: a DLL's static destructors run under the loader lock, where
    // joining the render thread would deadlock. BASS_Free ends the thread.
    static Engine *engine = new Engine;
    return *engine;
#else
    static Engine engine;
    return engine;
#endif
}

Engine::~Engine()
{
    // A host that exits without BASS_Free must not leave the render thread running
    // into the process's teardown.
    std::lock_guard<std::mutex> lock(controlLock_);
    FreeLocked();
}

std::shared_ptr<Music> Engine::Find(uint32_t handle)
{
    if (handle == 0)
        return nullptr;
    for (const auto &music : musics_)
        if (music->handle == handle)
            return music;
    return nullptr;
}

bool Engine::Init(int device, uint32_t freq, uint32_t flags)
{
    std::lock_guard<std::mutex> lock(controlLock_);
    // A second Init replaces the first output, with its musics, rather than failing:
    // a host whose earlier Play failed half-way has no other way back.
    FreeLocked();
    {
        std::lock_guard<std::mutex> state(stateLock_);
        error_.clear();
        outputFailed_ = false;
    }
    OutputFormat format;
    // A rate the output cannot take gives its own, rather than no sound at all.
    format.rate = freq < kMinRate || freq > kMaxRate ? 0 : freq;
    format.bits = (flags & BASS_DEVICE_8BITS) ? 8 : 16;
    // The host's own choice wins; otherwise TESSEL_OUTPUT, read afresh every time.
    OutputChoice choice{outputKind_, wavPath_, wavFd_};
    if (!hostChoseOutput_) {
        std::optional<OutputChoice> wanted = OutputFromEnvironment();
        if (!wanted) {
            std::lock_guard<std::mutex> state(stateLock_);
            error_ = "TESSEL_OUTPUT names no output (wav:PATH, null or device)";
            return false;
        }
        choice = *wanted;
    }
    std::unique_ptr<Output> output;
    OfflineOutput *offline = nullptr;
    std::string error;
    FileTarget file{choice.wavPath, choice.wavFd};
    if (choice.kind == TESSEL_OUTPUT_WAV) {
        output = OpenWavOutput(file, format, error);
    } else if (choice.kind == TESSEL_OUTPUT_OFFLINE) {
        std::unique_ptr<OfflineOutput> pulled = OpenOfflineOutput(file, format, error);
        offline = pulled.get();
        output = std::move(pulled);
    } else if (choice.kind == TESSEL_OUTPUT_NULL) {
        output = OpenNullOutput(format, nullBufferMs_);
    } else {
        output = OpenDeviceOutput(device, format);
    }
    if (!output) {
        std::lock_guard<std::mutex> state(stateLock_);
        error_ = error;
        return false;
    }
    {
        std::lock_guard<std::mutex> state(stateLock_);
        format_ = format;
        output_ = std::move(output);
        offline_ = offline;
        limitFrames_ = offline ? uint64_t(offlineLimitMs_) * format.rate / 1000 : 0;
        onePass_ = offline && offlineOnePass_;
        initialised_ = true;
        quit_ = false;
        dirty_ = false;
        run_ = Run::Running; // output starts at once; BASS_Start after Init changes nothing
        holdStarts_ = choice.kind == TESSEL_OUTPUT_WAV;
    }
    framesWritten_ = 0;
    framesHeard_ = 0;
    latencyFrames_ = 0;
    playToFirstWriteNs_ = -1;
    endReason_ = TESSEL_END_NONE;
    try {
        pin_.emplace();
        thread_ = std::thread(&Engine::RenderLoop, this);
    } catch (...) {
        pin_.reset();
        std::unique_ptr<Output> doomed;
        std::lock_guard<std::mutex> state(stateLock_);
        initialised_ = false;
        offline_ = nullptr;
        doomed = std::move(output_);
        return false;
    }
    return true;
}

void Engine::Free()
{
    std::lock_guard<std::mutex> lock(controlLock_);
    FreeLocked();
}

void Engine::FreeLocked()
{
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> state(stateLock_);
            quit_ = true;
        }
        wake_.notify_all();
        output_->Interrupt();
        thread_.join();
        pin_.reset();
    }
    std::unique_ptr<Output> output;
    std::vector<std::shared_ptr<Music>> musics;
    {
        std::unique_lock<std::mutex> state(stateLock_);
        // A host thread still in Pull was released by the interrupt; it must be out
        // before the output goes.
        pullsDone_.wait(state, [&] { return pulls_ == 0; });
        initialised_ = false;
        quit_ = false;
        run_ = Run::Stopped;
        output = std::move(output_);
        offline_ = nullptr;
        musics.swap(musics_);
    }
    // Closing the device or file and freeing the modules take a while: outside the lock.
    if (output) {
        output->Close();
        std::string error = output->Error();
        std::lock_guard<std::mutex> state(stateLock_);
        if (error_.empty())
            error_ = error;
    }
}

bool Engine::Start()
{
    std::lock_guard<std::mutex> state(stateLock_);
    if (!initialised_)
        return false;
    run_ = Run::Running;
    dirty_ = true;
    wake_.notify_all();
    return true;
}

bool Engine::Pause()
{
    std::lock_guard<std::mutex> state(stateLock_);
    if (!initialised_)
        return false;
    if (run_ == Run::Running)
        run_ = Run::Paused;
    dirty_ = true;
    wake_.notify_all();
    return true;
}

bool Engine::Stop()
{
    std::lock_guard<std::mutex> state(stateLock_);
    if (!initialised_)
        return false;
    // The output stops and so does every music: each needs BASS_MusicPlayEx again.
    run_ = Run::Stopped;
    for (const auto &music : musics_) {
        music->control.playing = false;
        music->publishedActive = 0;
    }
    dirty_ = true;
    wake_.notify_all();
    return true;
}

uint32_t Engine::LoadMusic(const void *data, size_t size, uint32_t flags)
{
    std::lock_guard<std::mutex> lock(controlLock_);
    uint32_t rate;
    {
        std::lock_guard<std::mutex> state(stateLock_);
        if (!initialised_)
            return 0;
        rate = format_.rate;
    }
    std::shared_ptr<Music> music = Music::Load(data, size, flags, rate);
    if (!music)
        return 0;
    std::lock_guard<std::mutex> state(stateLock_);
    if (nextHandle_ == 0)
        nextHandle_ = 1;
    music->handle = nextHandle_++;
    musics_.push_back(music);
    return music->handle;
}

bool Engine::FreeMusic(uint32_t handle)
{
    std::shared_ptr<Music> doomed; // released after the lock, maybe by the render thread
    std::lock_guard<std::mutex> state(stateLock_);
    auto found = std::find_if(musics_.begin(), musics_.end(),
                              [&](const std::shared_ptr<Music> &music) { return handle != 0 && music->handle == handle; });
    if (found == musics_.end())
        return false;
    doomed = std::move(*found);
    musics_.erase(found);
    return true;
}

bool Engine::PlayMusic(uint32_t handle, uint32_t position)
{
    uint32_t order = position & 0xFFFF;
    uint32_t row = position >> 16;
    std::lock_guard<std::mutex> state(stateLock_);
    std::shared_ptr<Music> music = Find(handle);
    if (!music || !music->ValidStart(order, row))
        return false;
    Music::Control &control = music->control;
    ++control.generation;
    control.playing = true;
    control.movePending = true;
    control.moveOrder = order;
    control.moveRow = row;
    control.playRequestNs = NowNs();
    control.held = holdStarts_;
    // Active from this moment: a watcher polling right after the call must not see
    // the music as ended before the render thread has picked it up.
    music->publishedActive = 1;
    music->publishedPosition = PositionWord(order, row);
    music->publishedMs = 0;
    playingHandle_ = handle;
    endReason_ = TESSEL_END_NONE;
    dirty_ = true;
    wake_.notify_all();
    return true;
}

const char *Engine::MusicName(uint32_t handle)
{
    std::lock_guard<std::mutex> state(stateLock_);
    std::shared_ptr<Music> music = Find(handle);
    return music ? music->Name().c_str() : nullptr;
}

uint32_t Engine::MusicLength(uint32_t handle)
{
    std::lock_guard<std::mutex> state(stateLock_);
    std::shared_ptr<Music> music = Find(handle);
    return music ? music->OrderCount() : 0;
}

uint32_t Engine::MusicPosition(uint32_t handle)
{
    std::lock_guard<std::mutex> state(stateLock_);
    std::shared_ptr<Music> music = Find(handle);
    if (music)
        ReleaseStart(*music);
    return music ? music->publishedPosition.load() : 0;
}

bool Engine::SetMusicPosition(uint32_t handle, uint32_t position)
{
    // The high word is the caller's mode word; a seek always lands on an order's start.
    uint32_t order = position & 0xFFFF;
    std::lock_guard<std::mutex> state(stateLock_);
    std::shared_ptr<Music> music = Find(handle);
    if (!music || order >= music->OrderCount())
        return false;
    music->control.movePending = true;
    music->control.moveOrder = order;
    music->control.moveRow = 0;
    dirty_ = true;
    wake_.notify_all();
    return true;
}

bool Engine::SetMusicAttributes(uint32_t handle, int freq, int volume, int pan)
{
    std::lock_guard<std::mutex> state(stateLock_);
    std::shared_ptr<Music> music = Find(handle);
    if (!music)
        return false;
    Music::Control &control = music->control;
    if (volume != -1)
        control.volume = std::clamp(volume, 0, 100);
    if (pan != -1)
        control.pan = std::clamp(pan, -100, 100);
    if (freq == 0)
        control.freq = 0;
    else if (freq > 0)
        control.freq = std::clamp(freq, kMinFreq, kMaxFreq);
    dirty_ = true;
    wake_.notify_all();
    return true;
}

uint32_t Engine::MusicActive(uint32_t handle)
{
    std::lock_guard<std::mutex> state(stateLock_);
    std::shared_ptr<Music> music = Find(handle);
    if (music)
        ReleaseStart(*music);
    return music ? music->publishedActive.load() : 0;
}

void Engine::ReleaseStart(Music &music)
{
    if (!music.control.held)
        return;
    music.control.held = false;
    dirty_ = true;
    wake_.notify_all();
}

bool Engine::SetOutput(int kind, const char *wavPath)
{
    bool file = kind == TESSEL_OUTPUT_WAV || kind == TESSEL_OUTPUT_OFFLINE;
    if (!file && kind != TESSEL_OUTPUT_DEVICE && kind != TESSEL_OUTPUT_NULL)
        return false;
    if (file && (wavPath == nullptr || wavPath[0] == '\0'))
        return false;
    std::lock_guard<std::mutex> lock(controlLock_);
    hostChoseOutput_ = true;
    outputKind_ = kind;
    wavPath_ = file ? wavPath : "";
    wavFd_ = -1;
    return true;
}

bool Engine::SetOutputFile(int kind, int fd)
{
    if (kind != TESSEL_OUTPUT_WAV && kind != TESSEL_OUTPUT_OFFLINE)
        return false;
    if (!OutputFile::UsableDescriptor(fd))
        return false;
    std::lock_guard<std::mutex> lock(controlLock_);
    hostChoseOutput_ = true;
    outputKind_ = kind;
    wavPath_.clear();
    wavFd_ = fd;
    return true;
}

void Engine::SetOfflineLimit(uint32_t limitMs, bool onePass)
{
    std::lock_guard<std::mutex> lock(controlLock_);
    offlineLimitMs_ = limitMs;
    offlineOnePass_ = onePass;
}

uint32_t Engine::Pull(uint32_t frames, int *end)
{
    OfflineOutput *offline = nullptr;
    {
        std::lock_guard<std::mutex> state(stateLock_);
        bool anyPlaying = std::any_of(musics_.begin(), musics_.end(), [](const auto &m) { return m->control.playing; });
        if (initialised_ && offline_ != nullptr && run_ == Run::Running && anyPlaying && !outputFailed_ && frames > 0) {
            offline = offline_;
            ++pulls_;
        }
    }
    uint32_t written = 0;
    if (offline != nullptr) {
        written = offline->Pull(frames);
        std::lock_guard<std::mutex> state(stateLock_);
        if (--pulls_ == 0)
            pullsDone_.notify_all();
    }
    if (end != nullptr)
        *end = endReason_;
    return written;
}

bool Engine::GetOutputError(char *text, uint32_t size)
{
    std::lock_guard<std::mutex> state(stateLock_);
    if (error_.empty())
        return false;
    if (text != nullptr && size > 0) {
        size_t length = std::min<size_t>(error_.size(), size - 1);
        std::copy(error_.begin(), error_.begin() + length, text);
        text[length] = '\0';
    }
    return true;
}

void Engine::SetNullBuffer(uint32_t milliseconds)
{
    std::lock_guard<std::mutex> lock(controlLock_);
    nullBufferMs_ = std::min<uint32_t>(milliseconds, 10000);
}

bool Engine::GetStats(TesselBassStats *stats)
{
    if (stats == nullptr)
        return false;
    std::lock_guard<std::mutex> state(stateLock_);
    if (!initialised_)
        return false;
    stats->framesWritten = framesWritten_;
    stats->framesHeard = framesHeard_;
    stats->latencyFrames = latencyFrames_;
    stats->rate = format_.rate;
    stats->channels = format_.channels;
    stats->bits = format_.bits;
    stats->playToFirstWriteNs = playToFirstWriteNs_;
    return true;
}

bool Engine::GetPlaying(TesselBassPlaying *playing)
{
    if (playing == nullptr)
        return false;
    peaksWanted_.store(true, std::memory_order_relaxed);
    std::lock_guard<std::mutex> state(stateLock_);
    std::shared_ptr<Music> music = Find(playingHandle_);
    if (!music)
        return false;
    uint32_t position = music->publishedPosition;
    playing->positionMs = music->publishedMs;
    playing->lengthMs = music->LengthMs();
    playing->order = position & 0xFFFF;
    playing->row = position >> 16;
    playing->peakLeft = peakLeft_.load(std::memory_order_relaxed);
    playing->peakRight = peakRight_.load(std::memory_order_relaxed);
    return true;
}

void Engine::PublishPeaks(const PeakTrail &peaks, uint64_t heard, uint32_t rate)
{
    // Nothing heard while the output stands still.
    Peak peak = heard == 0 ? Peak{} : peaks.Over(heard, uint64_t(rate) * kPeakWindowMs / 1000);
    peakLeft_.store(peak.left, std::memory_order_relaxed);
    peakRight_.store(peak.right, std::memory_order_relaxed);
}

Engine::ChunkBuffers::ChunkBuffers(uint32_t chunk)
    : mix(size_t(chunk) * 2), music(size_t(chunk) * 2), samples(size_t(chunk) * 2), mono(chunk)
{
}

void Engine::StartPlayback(Music &music, const OutputFormat &format)
{
    Music::RenderState &render = music.render;
    render.ended = false;
    render.firstWritten = false;
    render.endReason = TESSEL_END_NONE;
    render.trail.Clear();
    // The offline output's limits: one pass of a song that would loop for ever, and
    // the host's time limit, whichever comes first.
    render.framesLeft = UINT64_MAX;
    if (onePass_ && music.Loops() && music.LengthSeconds() > 0) {
        render.framesLeft = uint64_t(music.LengthSeconds() * format.rate + 0.5);
        render.capEnd = TESSEL_END_PASS;
    }
    if (limitFrames_ > 0 && limitFrames_ < render.framesLeft) {
        render.framesLeft = limitFrames_;
        render.capEnd = TESSEL_END_LIMIT;
    }
}

Engine::Chunk Engine::RenderChunk(std::vector<Snapshot> &snapshots, const OutputFormat &format, uint64_t written,
                                  uint32_t chunk, ChunkBuffers &buffers)
{
    Chunk result;
    Snapshot *only = nullptr;
    size_t sounding = 0;
    for (Snapshot &snapshot : snapshots)
        if (snapshot.control.playing && !snapshot.music->render.ended) {
            only = &snapshot;
            ++sounding;
        }
    // One music, centred, to 16-bit: libopenmpt's own samples go out as they are (or
    // scaled to the volume), with nothing to mix (the common case, and the cheapest).
    bool direct = sounding == 1 && format.bits == 16 && only->control.pan == 0;
    if (!direct)
        std::fill(buffers.mix.begin(), buffers.mix.end(), 0.0f);
    for (Snapshot &snapshot : snapshots) {
        Music &music = *snapshot.music;
        Music::RenderState &render = music.render;
        if (!snapshot.control.playing || render.ended)
            continue;
        if (!render.songOver)
            render.trail.Mark(written, music.CurrentPosition(), music.CurrentMs());
        uint32_t wanted = uint32_t(std::min<uint64_t>(chunk, render.framesLeft));
        uint32_t frames = 0;
        if (direct) {
            frames = wanted > 0 ? music.Render16(buffers.samples.data(), wanted, buffers.mono.data()) : 0;
            std::fill(buffers.samples.begin() + 2 * frames, buffers.samples.end(), int16_t(0));
            if (snapshot.control.volume != 100)
                ScaleSamples(buffers.samples.data(), 2 * size_t(frames), snapshot.control.volume);
        } else if (wanted > 0) {
            frames = music.Render(buffers.music.data(), wanted);
            MixInto(buffers.mix.data(), buffers.music.data(), frames, music.Mono(),
                    GainsFor(snapshot.control.volume, snapshot.control.pan));
        }
        if (render.framesLeft != UINT64_MAX)
            render.framesLeft -= frames;
        TrackOrders(music);
        if (!render.songOver)
            render.latestMs = music.CurrentMs();
        if (frames < chunk) {
            render.ended = true;
            render.endFrame = written + frames;
            render.endReason = frames == wanted ? render.capEnd : TESSEL_END_MUSIC;
        } else {
            result.goingOn = true;
        }
        result.longest = std::max(result.longest, frames);
    }
    if (!direct)
        ConvertMix(buffers.mix.data(), chunk, format, buffers.samples.data());
    return result;
}

namespace {

// The last frames written, kept so that what the output had not played when it was
// paused can be written again on resume. It grows to about twice the output's latency.
class FrameHistory {
public:
    explicit FrameHistory(uint32_t frameBytes) : frameBytes_(frameBytes) {}

    // Keeps frames, making room for at least wanted frames of history first.
    void Keep(const uint8_t *data, uint32_t frames, uint32_t wanted)
    {
        if (wanted > capacity_)
            Grow(2 * wanted);
        if (frames > capacity_) {
            data += size_t(frames - capacity_) * frameBytes_;
            frames = capacity_;
        }
        uint32_t first = std::min(frames, capacity_ - end_);
        std::copy_n(data, size_t(first) * frameBytes_, ring_.begin() + size_t(end_) * frameBytes_);
        std::copy_n(data + size_t(first) * frameBytes_, size_t(frames - first) * frameBytes_, ring_.begin());
        end_ = (end_ + frames) % capacity_;
        size_ = std::min(capacity_, size_ + frames);
    }

    // The last frames kept (no more than there are), oldest first.
    std::vector<uint8_t> Tail(uint32_t frames) const
    {
        frames = std::min(frames, size_);
        std::vector<uint8_t> out(size_t(frames) * frameBytes_);
        uint32_t start = (end_ + capacity_ - frames) % std::max<uint32_t>(capacity_, 1);
        for (uint32_t i = 0; i < frames; ++i) {
            size_t from = size_t((start + i) % capacity_) * frameBytes_;
            std::copy_n(ring_.begin() + from, frameBytes_, out.begin() + size_t(i) * frameBytes_);
        }
        return out;
    }

private:
    void Grow(uint32_t capacity)
    {
        std::vector<uint8_t> kept = Tail(size_);
        ring_.assign(size_t(capacity) * frameBytes_, 0);
        std::copy(kept.begin(), kept.end(), ring_.begin());
        capacity_ = capacity;
        end_ = size_ % capacity_;
    }

    uint32_t frameBytes_;
    std::vector<uint8_t> ring_;
    uint32_t capacity_ = 0;
    uint32_t end_ = 0;  // where the next frame goes
    uint32_t size_ = 0; // frames kept
};

} // namespace

void Engine::RenderLoop()
{
    OutputFile::ShieldWritingThread();
    Output &output = *output_;
    const OutputFormat format = format_;
    const uint32_t chunk = output.ChunkFrames();
    const uint32_t frameBytes = format.FrameBytes();
    std::vector<Snapshot> snapshots;
    std::vector<PositionTrail::Heard> heardPositions;
    PeakTrail peaks;
    FrameHistory history(frameBytes);
    std::vector<uint8_t> replay; // taken back at a pause, written first on resume
    size_t replayed = 0;         // bytes of it written again
    snapshots.reserve(16);
    heardPositions.reserve(16);
    ChunkBuffers buffers(chunk);
    uint64_t written = 0; // the output's timeline: a pause takes back what was not heard
    uint32_t latency = 0;
    bool outputRunning = false;
    bool failed = false;

    for (;;) {
        output.AwaitDemand();
        Run run;
        {
            std::unique_lock<std::mutex> state(stateLock_);
            wake_.wait(state, [&] {
                if (quit_ || dirty_)
                    return true;
                if (run_ != Run::Running || outputFailed_)
                    return false;
                return output.Continuous() || std::any_of(musics_.begin(), musics_.end(), [](const auto &m) {
                           return m->control.playing && !m->control.held;
                       });
            });
            if (quit_)
                break;
            dirty_ = false;
            run = run_;
            for (const auto &music : musics_) {
                snapshots.push_back(Snapshot{music, music->control});
                // A held start is applied (moved to) but not rendered yet.
                if (music->control.held)
                    snapshots.back().control.playing = false;
                music->control.movePending = false;
            }
        }

        if (run != Run::Running && outputRunning) {
            if (run == Run::Paused) {
                // What the output holds unheard is dropped with the pause and played
                // again on resume: the music goes on from what was last heard.
                uint32_t unheard = uint32_t(std::min<uint64_t>(output.Latency(), written));
                output.Pause();
                std::vector<uint8_t> taken = history.Tail(unheard);
                written -= taken.size() / frameBytes;
                peaks.Truncate(written);
                taken.insert(taken.end(), replay.begin() + replayed, replay.end());
                replay.swap(taken);
                replayed = 0;
            } else {
                output.Pause();
                replay.clear();
            }
            outputRunning = false;
        }

        // Requests first: new playbacks, moves, speed. Any of them makes what was
        // taken back at a pause stale.
        bool anyPlaying = false;
        bool anyDraining = false;
        for (Snapshot &snapshot : snapshots) {
            const Music::Control &control = snapshot.control;
            Music::RenderState &render = snapshot.music->render;
            if ((control.generation != render.generation || control.movePending) && replayed < replay.size()) {
                replay.clear();
                replayed = 0;
                for (Snapshot &other : snapshots)
                    other.music->render.trail.Truncate(written);
                peaks.Truncate(written);
            }
        }
        for (Snapshot &snapshot : snapshots) {
            Music &music = *snapshot.music;
            Music::RenderState &render = music.render;
            const Music::Control &control = snapshot.control;
            if (control.generation != render.generation) {
                render.generation = control.generation;
                StartPlayback(music, format);
            }
            if (control.freq != render.freq) {
                render.freq = control.freq;
                render.speed = control.freq == 0 ? 1.0 : double(control.freq) / format.rate;
                music.SetSpeed(render.speed);
            }
            if (control.movePending) {
                music.MoveTo(control.moveOrder, control.moveRow);
                render.ended = false;
                if (!control.playing)
                    render.trail.Clear();
                // What is still queued keeps its own positions; from here on, the new one.
                render.latestMs = music.CurrentMs();
                render.trail.Mark(written, music.CurrentPosition(), render.latestMs);
                RestartTrack(render, music.CurrentPosition());
            }
            if (control.playing) {
                anyPlaying = true;
                anyDraining = anyDraining || render.ended;
            }
        }
        if (run == Run::Stopped) {
            replay.clear();
            replayed = 0;
        }

        if (!failed && run == Run::Running && (anyPlaying || output.Continuous())) {
            const uint8_t *data;
            uint32_t frames;
            if (replayed < replay.size()) {
                data = replay.data() + replayed;
                frames = uint32_t(std::min<size_t>(chunk, (replay.size() - replayed) / frameBytes));
                replayed += size_t(frames) * frameBytes;
                if (replayed == replay.size()) {
                    replay.clear();
                    replayed = 0;
                }
            } else {
                Chunk rendered = RenderChunk(snapshots, format, written, chunk, buffers);
                // A file ends where the music ends; a device, or music still draining
                // out of a buffer, takes whole chunks.
                frames = rendered.goingOn || anyDraining || output.Continuous() ? chunk : rendered.longest;
                data = reinterpret_cast<const uint8_t *>(buffers.samples.data());
            }
            if (frames > 0) {
                // Only an output that holds frames unheard needs the copy (a file never
                // does, past its first write).
                if (latency > 0 || written == 0 || output.Continuous())
                    history.Keep(data, frames, latency + 2 * chunk);
                // Measured once a host has asked for them: a render to a file need not.
                if (peaksWanted_.load(std::memory_order_relaxed))
                    peaks.Mark(written, frames, PeakOf(data, frames, format));
                output.Write(data, frames);
                outputRunning = true;
                written += frames;
                int64_t now = NowNs();
                for (Snapshot &snapshot : snapshots) {
                    Music::RenderState &render = snapshot.music->render;
                    if (snapshot.control.playing && !render.firstWritten) {
                        render.firstWritten = true;
                        playToFirstWriteNs_ = now - snapshot.control.playRequestNs;
                    }
                }
                failed = !output.Error().empty();
            }
        } else if (outputRunning && (failed || !output.Continuous())) {
            // Nothing left to play: the file's header is brought up to date, the null
            // output's clock stops.
            output.Pause();
            outputRunning = false;
        }

        latency = failed ? 0 : uint32_t(std::min<uint64_t>(output.Latency(), written));
        uint64_t heard = written - latency;
        heardPositions.clear();
        for (Snapshot &snapshot : snapshots) {
            Music &music = *snapshot.music;
            const Music::RenderState &render = music.render;
            heardPositions.push_back(render.trail.Empty()
                                         ? PositionTrail::Heard{music.CurrentPosition(), music.CurrentMs()}
                                         : render.trail.At(heard, 1000.0 * render.speed / format.rate, render.latestMs));
        }
        PublishPeaks(peaks, outputRunning ? heard : 0, format.rate);
        framesWritten_ = written;
        framesHeard_ = heard;
        latencyFrames_ = latency;

        bool stillPlaying = false;
        {
            std::lock_guard<std::mutex> state(stateLock_);
            if (failed && !outputFailed_) {
                outputFailed_ = true;
                if (error_.empty())
                    error_ = output.Error();
            }
            for (size_t i = 0; i < snapshots.size(); ++i) {
                Music &music = *snapshots[i].music;
                // A newer BASS_MusicPlayEx has published its own start already.
                if (music.control.generation != snapshots[i].control.generation)
                    continue;
                music.publishedPosition = heardPositions[i].position;
                music.publishedMs = heardPositions[i].ms;
                bool over = music.render.ended && heard >= music.render.endFrame;
                if (music.control.playing && !music.control.movePending && (over || failed)) {
                    music.control.playing = false;
                    music.publishedActive = 0;
                    endReason_ = failed ? TESSEL_END_ERROR : music.render.endReason;
                }
            }
            stillPlaying = std::any_of(musics_.begin(), musics_.end(), [](const auto &m) { return m->control.playing; });
        }
        if (!stillPlaying && outputRunning && !output.Continuous()) {
            // The last music is over: the file's header is brought up to date, the
            // null output's clock stops, a host pulling learns that nothing more comes.
            output.Pause();
            outputRunning = false;
        }
        // A music freed meanwhile goes here, outside the lock, not while idle.
        snapshots.clear();
    }
    if (outputRunning)
        output.Pause();
}

} // namespace tessel::sound
