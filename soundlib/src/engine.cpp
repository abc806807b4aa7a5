#include "engine.h"

#include "bass.h"
#include "cancel_pipe.h"
#include "output_choice.h"
#include "output_file.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace tessel::sound {
namespace {

// libopenmpt's range of sample rates.
constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 192000;
// BASS's range of channel frequencies.
constexpr int kMinFreq = 100;
constexpr int kMaxFreq = 100000;
// How long a start waits for the host when it never looks: long enough for the host's
// next call after BASS_MusicPlayEx, short enough to go unnoticed.
constexpr int64_t kStartHoldNs = 50'000'000;

} // namespace

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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

bool Engine::AnyPlaying() const
{
    return std::any_of(musics_.begin(), musics_.end(), [](const auto &music) { return music->control.playing; });
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
        cancelled_ = false;
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
    std::string error;
    const bool pulled = choice.kind == TESSEL_OUTPUT_OFFLINE;
    if (choice.kind == TESSEL_OUTPUT_WAV || pulled)
        output = OpenWavOutput(FileTarget{choice.wavPath, choice.wavFd}, format, error);
    else if (choice.kind == TESSEL_OUTPUT_NULL)
        output = OpenNullOutput(format, nullBufferMs_);
    else
        output = OpenDeviceOutput(device, format);
    if (!output) {
        std::lock_guard<std::mutex> state(stateLock_);
        error_ = error;
        return false;
    }
    {
        std::lock_guard<std::mutex> state(stateLock_);
        format_ = format;
        output_ = std::move(output);
        pulled_ = pulled;
        credit_ = 0;
        limitFrames_ = pulled ? uint64_t(offlineLimitMs_) * format.rate / 1000 : 0;
        onePass_ = pulled && offlineOnePass_;
        initialised_ = true;
        ++session_;
        quit_ = false;
        renderDone_ = false;
        watcherQuit_ = false;
        dirty_ = false;
        run_ = Run::Running; // output starts at once; BASS_Start after Init changes nothing
        holdStarts_ = !pulled;
    }
    framesWritten_ = 0;
    framesHeard_ = 0;
    latencyFrames_ = 0;
    playToFirstWriteNs_ = -1;
    endReason_ = TESSEL_END_NONE;
    try {
        pin_.emplace();
        // Without a pipe the output works as ever, only it cannot be cancelled.
        if (cancel_pipe::Arm())
            watcher_ = std::thread(&Engine::WatchForCancel, this);
        thread_ = std::thread(&Engine::RenderLoop, this);
    } catch (...) {
        StopWatcher();
        pin_.reset();
        std::unique_ptr<Output> doomed;
        std::lock_guard<std::mutex> state(stateLock_);
        initialised_ = false;
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
        pullDone_.notify_all();
        output_->Interrupt();
        thread_.join();
        StopWatcher();
        pin_.reset();
    }
    std::unique_ptr<Output> output;
    std::vector<std::shared_ptr<Music>> musics;
    {
        std::unique_lock<std::mutex> state(stateLock_);
        // A host thread still in Pull was released by quit_; it must be out before
        // the output goes.
        pullDone_.wait(state, [&] { return !pulling_; });
        initialised_ = false;
        quit_ = false;
        run_ = Run::Stopped;
        pulled_ = false;
        output = std::move(output_);
        musics.swap(musics_);
    }
    // Closing the device or file and freeing the modules take a while: outside the lock.
    if (output) {
        output->Close();
        std::string error = output->Error();
        std::lock_guard<std::mutex> state(stateLock_);
        // A cancelled write is no failure of the output.
        if (error_.empty() && !cancelled_)
            error_ = error;
    }
}

void Engine::StopWatcher()
{
    cancel_pipe::Disarm();
    if (!watcher_.joinable())
        return;
    {
        std::lock_guard<std::mutex> state(stateLock_);
        watcherQuit_ = true;
    }
    cancel_pipe::Wake();
    watcher_.join();
}

void Engine::WatchForCancel()
{
    for (;;) {
        cancel_pipe::Wait();
        {
            std::lock_guard<std::mutex> state(stateLock_);
            if (watcherQuit_)
                return;
            // A byte that a cancel or a wake of an earlier output left behind.
            if (!cancel_pipe::Raised() || cancelled_)
                continue;
            // As after a failure: the output takes nothing more and every music is over.
            cancelled_ = true;
            for (const auto &music : musics_) {
                music->control.playing = false;
                music->publishedActive = 0;
            }
            endReason_ = TESSEL_END_CANCEL;
            dirty_ = true;
            wake_.notify_all();
            pullDone_.notify_all();
        }
        // The output stays until this thread has been joined.
        output_->Interrupt();
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
    pullDone_.notify_all();
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
    pullDone_.notify_all();
    return true;
}

uint32_t Engine::LoadMusic(const void *data, size_t size, uint32_t flags)
{
    uint32_t rate;
    uint64_t session;
    {
        std::lock_guard<std::mutex> state(stateLock_);
        if (!initialised_)
            return 0;
        rate = format_.rate;
        session = session_;
    }
    // The parse and the duration scan of a large module take a while: no lock, so
    // that nothing else waits for them. The music joins the output it was loaded for.
    std::shared_ptr<Music> music = Music::Load(data, size, flags, rate);
    if (!music)
        return 0;
    std::lock_guard<std::mutex> state(stateLock_);
    if (!initialised_ || session_ != session)
        return 0;
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
    // The render thread lets go of it now, and pauses the output if it was the last.
    dirty_ = true;
    wake_.notify_all();
    pullDone_.notify_all();
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
    control.holdUntilNs = control.playRequestNs + kStartHoldNs;
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
    return music ? music->publishedPosition : 0;
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
    ReleaseStart(*music);
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
    return music ? music->publishedActive : 0;
}

void Engine::ReleaseStart(Music &music)
{
    if (!music.control.held)
        return;
    music.control.held = false;
    dirty_ = true;
    wake_.notify_all();
}

int64_t Engine::ReleaseDueStarts(int64_t now)
{
    int64_t next = std::numeric_limits<int64_t>::max();
    for (const auto &music : musics_) {
        Music::Control &control = music->control;
        if (!control.held)
            continue;
        if (now >= control.holdUntilNs)
            control.held = false;
        else
            next = std::min(next, control.holdUntilNs);
    }
    return next;
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
    uint32_t taken = 0;
    std::unique_lock<std::mutex> state(stateLock_);
    // One pull at a time: a second waits for the first to be done.
    pullDone_.wait(state, [&] { return !pulling_ || quit_; });
    if (initialised_ && pulled_ && !quit_ && frames > 0 && run_ == Run::Running && !outputFailed_ && !cancelled_ &&
        AnyPlaying()) {
        pulling_ = true;
        const uint64_t pull = ++pullSeq_;
        credit_ = frames;
        pullTaken_ = 0;
        wake_.notify_all();
        // Done when the frames are written, or when the render thread has found
        // nothing to do since this pull began (paused, stopped, the music over).
        // BASS_Pause, BASS_Stop and BASS_MusicFree end it at once, with what reached the
        // file so far: the render may be stuck on a reader that does not read. BASS_Free
        // waits for the render's last flush, so that the count includes it.
        pullDone_.wait(state, [&] {
            return credit_ == 0 || renderDone_ || outputFailed_ || cancelled_ || idleSeq_ >= pull ||
                   run_ != Run::Running || !AnyPlaying();
        });
        taken = pullTaken_;
        credit_ = 0;
        pulling_ = false;
        pullDone_.notify_all();
    }
    if (end != nullptr)
        *end = cancelled_ ? TESSEL_END_CANCEL : endReason_.load();
    return taken;
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

} // namespace tessel::sound
