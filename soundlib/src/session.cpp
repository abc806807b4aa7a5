#include "session.h"

#include "bass.h"
#include "cancel_pipe.h"
#include "pulled_output.h"
#include "trails.h"

#include <algorithm>
#include <atomic>
#include <chrono>

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

// Handles count on from one session to the next: a handle the host kept from an
// earlier one names no music of this one.
uint32_t NewHandle()
{
    static std::atomic<uint32_t> next{1};
    uint32_t handle;
    do
        handle = next++;
    while (handle == 0);
    return handle;
}

} // namespace

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::shared_ptr<Session> Session::Open(int device, uint32_t freq, uint32_t flags, const SessionConfig &config,
                                       std::string &error)
{
    OutputFormat format;
    // A rate the output cannot take gives its own, rather than no sound at all.
    format.rate = freq < kMinRate || freq > kMaxRate ? 0 : freq;
    format.bits = (flags & BASS_DEVICE_8BITS) ? 8 : 16;
    const OutputChoice &choice = config.output;
    std::unique_ptr<Output> output;
    PulledOutput *pulled = nullptr;
    if (choice.kind == TESSEL_OUTPUT_WAV || choice.kind == TESSEL_OUTPUT_OFFLINE)
        output = OpenWavOutput(FileTarget{choice.wavPath, choice.wavFd}, format, error);
    else if (choice.kind == TESSEL_OUTPUT_NULL)
        output = OpenNullOutput(format, config.nullBufferMs);
    else
        output = OpenDeviceOutput(device, format);
    if (!output)
        return nullptr;
    PlaybackCaps caps;
    if (choice.kind == TESSEL_OUTPUT_OFFLINE) {
        auto paced = std::make_unique<PulledOutput>(std::move(output));
        pulled = paced.get();
        output = std::move(paced);
        caps.limitFrames = uint64_t(config.offlineLimitMs) * format.rate / 1000;
        caps.onePass = config.offlineOnePass;
    }
    return std::make_shared<Session>(std::move(output), pulled, format, caps);
}

Session::Session(std::unique_ptr<Output> output, PulledOutput *pulled, const OutputFormat &format,
                 const PlaybackCaps &caps)
    : format_(format), output_(std::move(output)), pulled_(pulled), caps_(caps),
      trailLength_(
          TrailLength(output_->LatencyBound(), uint64_t(format.rate) * kPeakWindowMs / 1000, output_->ChunkFrames())),
      holdStarts_(pulled == nullptr)
{
    try {
        // Without a pipe the output works as ever, only it cannot be cancelled.
        if (cancel_pipe::Arm())
            watcher_ = std::thread(&Session::WatchForCancel, this);
        render_ = std::thread([this] { RenderLoop(state_, *output_, format_, caps_); });
    } catch (...) {
        StopThreads();
        throw;
    }
}

Session::~Session()
{
    // A host that exits without BASS_Free must not leave the render thread running
    // into the process's teardown.
    End();
}

void Session::End()
{
    std::lock_guard<std::mutex> guard(endLock_);
    if (ended_)
        return;
    ended_ = true;
    {
        std::lock_guard<std::mutex> lock(state_.lock);
        state_.quit = true;
        state_.wake.notify_all();
    }
    output_->Interrupt();
    StopThreads();
    pin_.reset();
    // Closing the device or file and freeing the modules take a while: outside the lock.
    // A pull still waiting goes with the count of the last flush.
    output_->Close();
    std::string error = output_->Error();
    std::vector<std::shared_ptr<Music>> musics;
    std::lock_guard<std::mutex> lock(state_.lock);
    // A cancelled write is no failure of the output.
    if (state_.error.empty() && !state_.cancelled)
        state_.error = error;
    musics.swap(state_.musics);
}

void Session::StopThreads()
{
    if (render_.joinable())
        render_.join();
    cancel_pipe::Disarm();
    if (!watcher_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(state_.lock);
        watcherQuit_ = true;
    }
    cancel_pipe::Wake();
    watcher_.join();
}

void Session::WatchForCancel()
{
    for (;;) {
        cancel_pipe::Wait();
        {
            std::lock_guard<std::mutex> lock(state_.lock);
            if (watcherQuit_)
                return;
            // A byte that a cancel or a wake of an earlier output left behind.
            if (!cancel_pipe::Raised() || state_.cancelled)
                continue;
            // As after a failure: the output takes nothing more and every music is over.
            state_.cancelled = true;
            state_.EndAll();
            state_.endReason = TESSEL_END_CANCEL;
            state_.Request();
            output_->Release();
        }
        output_->Interrupt();
    }
}

std::shared_ptr<Music> Session::Find(uint32_t handle)
{
    if (handle == 0)
        return nullptr;
    for (const auto &music : state_.musics)
        if (music->handle == handle)
            return music;
    return nullptr;
}

std::string Session::Error()
{
    std::lock_guard<std::mutex> lock(state_.lock);
    return state_.error;
}

uint32_t Session::Pull(uint32_t frames, int *end)
{
    uint32_t taken = 0;
    if (pulled_ != nullptr) {
        // One pull at a time: a second waits for the first to be done.
        std::lock_guard<std::mutex> turn(pullTurn_);
        uint64_t pull = 0;
        {
            std::lock_guard<std::mutex> lock(state_.lock);
            if (!state_.quit && frames > 0 && state_.run == Run::Running && !state_.failed && !state_.cancelled &&
                state_.AnyPlaying()) {
                pull = pulled_->Begin(frames);
                state_.wake.notify_all();
            }
        }
        // Done when the frames are written, or when the render thread has found nothing
        // to do since (paused, stopped, the music over). BASS_Pause, BASS_Stop and
        // BASS_MusicFree end it at once, with what reached the file so far: the render
        // may be stuck on a reader that does not read. BASS_Free waits for the render's
        // last flush, so that the count includes it.
        if (pull != 0)
            taken = pulled_->Wait(pull);
    }
    if (end != nullptr) {
        std::lock_guard<std::mutex> lock(state_.lock);
        *end = state_.cancelled ? TESSEL_END_CANCEL : state_.endReason;
    }
    return taken;
}

bool Session::Start()
{
    std::lock_guard<std::mutex> lock(state_.lock);
    if (state_.quit)
        return false;
    state_.run = Run::Running;
    state_.Request();
    return true;
}

bool Session::Pause()
{
    std::lock_guard<std::mutex> lock(state_.lock);
    if (state_.quit)
        return false;
    if (state_.run == Run::Running)
        state_.run = Run::Paused;
    state_.Request();
    output_->Release();
    return true;
}

bool Session::Stop()
{
    std::lock_guard<std::mutex> lock(state_.lock);
    if (state_.quit)
        return false;
    // The output stops and so does every music: each needs BASS_MusicPlayEx again.
    state_.run = Run::Stopped;
    state_.EndAll();
    state_.Request();
    output_->Release();
    return true;
}

uint32_t Session::LoadMusic(const void *data, size_t size, uint32_t flags,
                            const std::function<void(const Music &)> &loaded)
{
    {
        std::lock_guard<std::mutex> lock(state_.lock);
        if (state_.quit)
            return 0;
    }
    // The parse and the duration scan of a large module take a while: no lock, so
    // that nothing else waits for them. A load that spans BASS_Free finds its session
    // ended, and the music goes with it.
    std::shared_ptr<Music> music = Music::Load(data, size, flags, format_.rate);
    if (!music)
        return 0;
    if (loaded)
        loaded(*music);
    // Sized here rather than by the render thread, which never allocates.
    music->render.trail.Reserve(trailLength_);
    std::lock_guard<std::mutex> lock(state_.lock);
    if (state_.quit)
        return 0;
    music->handle = NewHandle();
    state_.musics.push_back(music);
    return music->handle;
}

bool Session::FreeMusic(uint32_t handle)
{
    std::shared_ptr<Music> doomed; // released after the lock, maybe by the render thread
    std::lock_guard<std::mutex> lock(state_.lock);
    auto found = std::find_if(state_.musics.begin(), state_.musics.end(), [&](const std::shared_ptr<Music> &music) {
        return handle != 0 && music->handle == handle;
    });
    if (found == state_.musics.end())
        return false;
    doomed = std::move(*found);
    state_.musics.erase(found);
    // The render thread lets go of it now, and pauses the output if it was the last.
    state_.Request();
    output_->Release();
    return true;
}

bool Session::PlayMusic(uint32_t handle, uint32_t position)
{
    uint32_t order = position & 0xFFFF;
    uint32_t row = position >> 16;
    std::lock_guard<std::mutex> lock(state_.lock);
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
    state_.endReason = TESSEL_END_NONE;
    state_.Request();
    return true;
}

const char *Session::MusicName(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(state_.lock);
    std::shared_ptr<Music> music = Find(handle);
    return music ? music->Name().c_str() : nullptr;
}

uint32_t Session::MusicLength(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(state_.lock);
    std::shared_ptr<Music> music = Find(handle);
    return music ? music->OrderCount() : 0;
}

uint32_t Session::MusicPosition(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(state_.lock);
    std::shared_ptr<Music> music = Find(handle);
    if (music)
        ReleaseStart(*music);
    return music ? music->publishedPosition : 0;
}

bool Session::SetMusicPosition(uint32_t handle, uint32_t position)
{
    // The high word is the caller's mode word; a seek always lands on an order's start.
    uint32_t order = position & 0xFFFF;
    std::lock_guard<std::mutex> lock(state_.lock);
    std::shared_ptr<Music> music = Find(handle);
    if (!music || !music->ValidOrder(order))
        return false;
    music->control.movePending = true;
    music->control.moveOrder = order;
    music->control.moveRow = 0;
    state_.Request();
    return true;
}

bool Session::SetMusicAttributes(uint32_t handle, int freq, int volume, int pan)
{
    std::lock_guard<std::mutex> lock(state_.lock);
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
    state_.Request();
    return true;
}

uint32_t Session::MusicActive(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(state_.lock);
    std::shared_ptr<Music> music = Find(handle);
    if (music)
        ReleaseStart(*music);
    return music ? music->publishedActive : 0;
}

void Session::ReleaseStart(Music &music)
{
    if (!music.control.held)
        return;
    music.control.held = false;
    state_.Request();
}

bool Session::GetStats(TesselBassStats *stats)
{
    if (stats == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(state_.lock);
    if (state_.quit)
        return false;
    stats->framesWritten = state_.framesWritten;
    stats->framesHeard = state_.framesHeard;
    stats->latencyFrames = state_.latencyFrames;
    stats->rate = format_.rate;
    stats->channels = format_.channels;
    stats->bits = format_.bits;
    stats->playToFirstWriteNs = state_.playToFirstWriteNs;
    return true;
}

bool Session::GetPlaying(TesselBassPlaying *playing)
{
    if (playing == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(state_.lock);
    state_.peaksWanted = true;
    std::shared_ptr<Music> music = Find(playingHandle_);
    if (!music)
        return false;
    uint32_t position = music->publishedPosition;
    playing->positionMs = music->publishedMs;
    playing->lengthMs = music->LengthMs();
    playing->order = position & 0xFFFF;
    playing->row = position >> 16;
    playing->peakLeft = state_.peakLeft;
    playing->peakRight = state_.peakRight;
    return true;
}

} // namespace tessel::sound
