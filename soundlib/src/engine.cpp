#include "engine.h"

#include "bass.h"
#include "mixer.h"

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
    static Engine engine;
    return engine;
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
    if (freq < kMinRate || freq > kMaxRate)
        return false;
    OutputFormat format;
    format.rate = freq;
    format.bits = (flags & BASS_DEVICE_8BITS) ? 8 : 16;
    std::unique_ptr<Output> output;
    if (outputKind_ == TESSEL_OUTPUT_WAV)
        output = OpenWavOutput(wavPath_, format);
    else if (outputKind_ == TESSEL_OUTPUT_NULL)
        output = OpenNullOutput(format, nullBufferMs_);
    else
        output = OpenDeviceOutput(device, format);
    if (!output)
        return false;
    {
        std::lock_guard<std::mutex> state(stateLock_);
        format_ = format;
        output_ = std::move(output);
        initialised_ = true;
        quit_ = false;
        dirty_ = false;
        run_ = Run::Running; // output starts at once; BASS_Start after Init changes nothing
    }
    framesWritten_ = 0;
    framesHeard_ = 0;
    latencyFrames_ = 0;
    playToFirstWriteNs_ = -1;
    try {
        thread_ = std::thread(&Engine::RenderLoop, this);
    } catch (...) {
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
        output_->Interrupt();
        thread_.join();
    }
    std::unique_ptr<Output> output;
    std::vector<std::shared_ptr<Music>> musics;
    {
        std::lock_guard<std::mutex> state(stateLock_);
        initialised_ = false;
        quit_ = false;
        run_ = Run::Stopped;
        output = std::move(output_);
        musics.swap(musics_);
    }
    // Closing the device and freeing the modules take a while: outside the lock.
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
    // Active from this moment: a watcher polling right after the call must not see
    // the music as ended before the render thread has picked it up.
    music->publishedActive = 1;
    music->publishedPosition = PositionWord(order, row);
    music->publishedMs = 0;
    playingHandle_ = handle;
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
    return music ? music->publishedActive.load() : 0;
}

bool Engine::SetOutput(int kind, const char *wavPath)
{
    if (kind != TESSEL_OUTPUT_DEVICE && kind != TESSEL_OUTPUT_WAV && kind != TESSEL_OUTPUT_NULL)
        return false;
    if (kind == TESSEL_OUTPUT_WAV && (wavPath == nullptr || wavPath[0] == '\0'))
        return false;
    std::lock_guard<std::mutex> lock(controlLock_);
    outputKind_ = kind;
    wavPath_ = kind == TESSEL_OUTPUT_WAV ? wavPath : "";
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
    // One music at full volume, centred, to 16-bit: libopenmpt's own samples go out as
    // they are, with nothing to mix (the common case, and the cheapest).
    bool direct = sounding == 1 && format.bits == 16 && only->control.volume == 100 && only->control.pan == 0;
    if (!direct)
        std::fill(buffers.mix.begin(), buffers.mix.end(), 0.0f);
    for (Snapshot &snapshot : snapshots) {
        Music &music = *snapshot.music;
        Music::RenderState &render = music.render;
        if (!snapshot.control.playing || render.ended)
            continue;
        if (!render.songOver)
            render.trail.Mark(written, music.CurrentPosition(), music.CurrentMs());
        uint32_t frames;
        if (direct) {
            frames = music.Render16(buffers.samples.data(), chunk, buffers.mono.data());
            std::fill(buffers.samples.begin() + 2 * frames, buffers.samples.end(), int16_t(0));
        } else {
            frames = music.Render(buffers.music.data(), chunk);
            MixInto(buffers.mix.data(), buffers.music.data(), frames, music.Mono(),
                    GainsFor(snapshot.control.volume, snapshot.control.pan));
        }
        TrackOrders(music);
        if (!render.songOver)
            render.latestMs = music.CurrentMs();
        if (frames < chunk) {
            render.ended = true;
            render.endFrame = written + frames;
        } else {
            result.goingOn = true;
        }
        result.longest = std::max(result.longest, frames);
    }
    if (!direct)
        ConvertMix(buffers.mix.data(), chunk, format, buffers.samples.data());
    return result;
}

void Engine::RenderLoop()
{
    Output &output = *output_;
    const OutputFormat format = format_;
    const uint32_t chunk = output.ChunkFrames();
    std::vector<Snapshot> snapshots;
    std::vector<PositionTrail::Heard> heardPositions;
    PeakTrail peaks;
    snapshots.reserve(16);
    heardPositions.reserve(16);
    ChunkBuffers buffers(chunk);
    uint64_t written = 0;
    bool outputRunning = false;

    for (;;) {
        Run run;
        {
            std::unique_lock<std::mutex> state(stateLock_);
            wake_.wait(state, [&] {
                if (quit_ || dirty_)
                    return true;
                if (run_ != Run::Running)
                    return false;
                return output.Continuous() ||
                       std::any_of(musics_.begin(), musics_.end(), [](const auto &m) { return m->control.playing; });
            });
            if (quit_)
                break;
            dirty_ = false;
            run = run_;
            for (const auto &music : musics_) {
                snapshots.push_back(Snapshot{music, music->control});
                music->control.movePending = false;
            }
        }

        if (run != Run::Running && outputRunning) {
            output.Pause();
            outputRunning = false;
        }

        // Requests first: new playbacks, moves, speed.
        bool anyPlaying = false;
        bool anyDraining = false;
        for (Snapshot &snapshot : snapshots) {
            Music &music = *snapshot.music;
            Music::RenderState &render = music.render;
            const Music::Control &control = snapshot.control;
            if (control.generation != render.generation) {
                render.generation = control.generation;
                render.ended = false;
                render.firstWritten = false;
                render.trail.Clear();
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

        if (run == Run::Running && (anyPlaying || output.Continuous())) {
            Chunk rendered = RenderChunk(snapshots, format, written, chunk, buffers);
            // A file ends where the music ends; a device, or music still draining out
            // of a buffer, takes whole chunks.
            uint32_t frames = rendered.goingOn || anyDraining || output.Continuous() ? chunk : rendered.longest;
            if (frames > 0) {
                peaks.Mark(written, frames, PeakOf(buffers.samples.data(), frames, format));
                output.Write(buffers.samples.data(), frames);
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
            }
        } else if (outputRunning && !output.Continuous()) {
            // Nothing left to play: the file's header is brought up to date, the null
            // output's clock stops.
            output.Pause();
            outputRunning = false;
        }

        uint32_t latency = uint32_t(std::min<uint64_t>(output.Latency(), written));
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

        {
            std::lock_guard<std::mutex> state(stateLock_);
            for (size_t i = 0; i < snapshots.size(); ++i) {
                Music &music = *snapshots[i].music;
                // A newer BASS_MusicPlayEx has published its own start already.
                if (music.control.generation != snapshots[i].control.generation)
                    continue;
                music.publishedPosition = heardPositions[i].position;
                music.publishedMs = heardPositions[i].ms;
                if (music.control.playing && !music.control.movePending && music.render.ended &&
                    heard >= music.render.endFrame) {
                    music.control.playing = false;
                    music.publishedActive = 0;
                }
            }
        }
        // A music freed meanwhile goes here, outside the lock, not while idle.
        snapshots.clear();
    }
    if (outputRunning)
        output.Pause();
}

} // namespace tessel::sound
