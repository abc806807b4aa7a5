#include "render_loop.h"

#include "frame_ring.h"
#include "mixer.h"
#include "output_file.h"
#include "trails.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace tessel::sound {
namespace {

// A cap on a playback that has none.
constexpr double kNoPassCap = std::numeric_limits<double>::infinity();

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

class Renderer {
public:
    Renderer(SessionState &state, Output &output, const OutputFormat &format, const PlaybackCaps &caps)
        : state_(state), output_(output), format_(format), caps_(caps), chunk_(output_.ChunkFrames()),
          frameBytes_(format_.FrameBytes()), window_(uint64_t(format_.rate) * kPeakWindowMs / 1000),
          mix_(size_t(chunk_) * 2), music_(size_t(chunk_) * 2), samples_(size_t(chunk_) * 2), mono_(chunk_)
    {
        // Everything sized here, as the output opens, for the latency it can reach.
        snapshots_.reserve(16);
        heard_.reserve(16);
        ReserveHistory(output_.LatencyBound());
        peaks_.Reserve(TrailLength(output_.LatencyBound(), window_, chunk_));
    }

    void Loop()
    {
        OutputFile::ShieldWritingThread();
        while (TakeRequests()) {
            FollowRun();
            ApplyRequests();
            if (!failed_ && run_ == Run::Running && (anyPlaying_ || output_.Continuous()))
                WriteChunk();
            else if (outputRunning_ && (failed_ || !output_.Continuous()))
                Idle(); // nothing to write: a file's header is brought up to date, the null output's clock stops
            Publish();
            // A music freed meanwhile goes here, outside the lock.
            snapshots_.clear();
        }
        if (outputRunning_)
            output_.Pause();
    }

private:
    // What the render thread takes from one music per pass.
    struct Snapshot {
        std::shared_ptr<Music> music;
        Music::Control control;
        bool rendered; // playing, and not held
    };
    struct Chunk {
        uint32_t longest = 0; // frames of the music that rendered most
        bool goingOn = false; // some music filled the whole chunk
    };

    // Waits until there is something to do; false when the session ends.
    bool TakeRequests()
    {
        SessionState &s = state_;
        std::unique_lock<std::mutex> lock(s.lock);
        for (;;) {
            int64_t nextRelease = s.ReleaseDueStarts(NowNs());
            if (s.quit)
                return false;
            if (s.dirty)
                break;
            bool work = s.run == Run::Running && !s.failed &&
                        (output_.Continuous() || std::any_of(s.musics.begin(), s.musics.end(), [](const auto &m) {
                             return m->control.playing && !m->control.held;
                         }));
            if (work && output_.Room(chunk_) > 0)
                break;
            output_.RenderWaits();
            if (nextRelease == std::numeric_limits<int64_t>::max())
                s.wake.wait(lock);
            else
                s.wake.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(nextRelease)));
        }
        s.dirty = false;
        run_ = s.run;
        cancelled_ = s.cancelled;
        failed_ = failed_ || cancelled_;
        peaksWanted_ = s.peaksWanted;
        allowance_ = output_.Room(chunk_);
        for (const auto &music : s.musics) {
            const Music::Control &control = music->control;
            // A held start is applied (moved to) but not rendered yet.
            snapshots_.push_back(Snapshot{music, control, control.playing && !control.held});
            music->control.movePending = false;
        }
        return true;
    }

    // A pause or a stop of the output.
    void FollowRun()
    {
        if (run_ == Run::Running || !outputRunning_)
            return;
        // What the output holds unheard is dropped with it; after a pause it is written
        // again on resume, so the music goes on from what was last heard.
        uint32_t unheard = uint32_t(std::min<uint64_t>(output_.Latency(), written_));
        Idle();
        const size_t taken = std::min(size_t(unheard) * frameBytes_, history_.Count());
        written_ -= taken / frameBytes_;
        peaks_.Truncate(written_);
        if (run_ == Run::Paused) {
            // The frames taken back, then what was still to be written again.
            spare_.resize(taken + replay_.size() - replayed_);
            history_.CopyNewest(taken, spare_.data());
            std::copy(replay_.begin() + std::ptrdiff_t(replayed_), replay_.end(),
                      spare_.begin() + std::ptrdiff_t(taken));
            replay_.swap(spare_);
        } else {
            replay_.clear();
        }
        replayed_ = 0;
    }

    // New playbacks, moves, speed. Any of them makes what was taken back at a pause stale.
    void ApplyRequests()
    {
        const size_t keep = TrailLength(latency_, window_, chunk_);
        peaks_.Reserve(keep);
        for (Snapshot &snapshot : snapshots_) {
            const Music::Control &control = snapshot.control;
            Music::RenderState &render = snapshot.music->render;
            render.trail.Reserve(keep);
            if ((control.generation != render.generation || control.movePending) && replayed_ < replay_.size()) {
                replay_.clear();
                replayed_ = 0;
                for (Snapshot &other : snapshots_)
                    other.music->render.trail.Truncate(written_);
                peaks_.Truncate(written_);
            }
        }
        anyPlaying_ = false;
        anyDraining_ = false;
        for (Snapshot &snapshot : snapshots_) {
            Music &music = *snapshot.music;
            Music::RenderState &render = music.render;
            const Music::Control &control = snapshot.control;
            if (control.generation != render.generation) {
                render.generation = control.generation;
                StartPlayback(music);
            }
            if (control.freq != render.freq) {
                render.freq = control.freq;
                render.speed = music.SetSpeed(control.freq == 0 ? 1.0 : double(control.freq) / format_.rate);
            }
            if (control.movePending) {
                music.MoveTo(control.moveOrder, control.moveRow);
                render.ended = false;
                if (!control.playing)
                    render.trail.Clear();
                // libopenmpt gives the time of where it lands at the speed it plays;
                // from there on our clock counts song time. What is still queued keeps
                // its own positions.
                render.songMs = music.CurrentMs() * render.speed;
                render.latestMs = uint32_t(render.songMs);
                render.trail.Mark(written_, music.CurrentPosition(), render.songMs, MsPerFrame(render));
                RestartTrack(render, music.CurrentPosition());
            }
            if (snapshot.rendered) {
                anyPlaying_ = true;
                anyDraining_ = anyDraining_ || render.ended;
            }
        }
        if (run_ == Run::Stopped) {
            replay_.clear();
            replayed_ = 0;
        }
    }

    void StartPlayback(Music &music)
    {
        Music::RenderState &render = music.render;
        render.ended = false;
        render.firstWritten = false;
        render.endReason = TESSEL_END_NONE;
        render.trail.Clear();
        // The offline output's caps: one pass of a song that would loop for ever, in
        // song time, and the host's time limit, in output time.
        render.passLeft = caps_.onePass && music.Loops() && music.LengthSeconds() > 0
                              ? std::floor(music.LengthSeconds() * format_.rate + 0.5)
                              : kNoPassCap;
        render.limitLeft = caps_.limitFrames > 0 ? caps_.limitFrames : UINT64_MAX;
    }

    double MsPerFrame(const Music::RenderState &render) const { return 1000.0 * render.speed / format_.rate; }

    void WriteChunk()
    {
        const uint32_t chunk = allowance_;
        if (chunk == 0)
            return; // the offline output waits for a pull
        const uint8_t *data;
        uint32_t frames;
        if (replayed_ < replay_.size()) {
            data = replay_.data() + replayed_;
            frames = uint32_t(std::min<size_t>(chunk, (replay_.size() - replayed_) / frameBytes_));
            replayed_ += size_t(frames) * frameBytes_;
            if (replayed_ == replay_.size()) {
                replay_.clear();
                replayed_ = 0;
            }
        } else {
            Chunk rendered = RenderChunk(chunk);
            // A file ends where the music ends; a device, or music still draining out
            // of a buffer, takes whole chunks.
            frames = rendered.goingOn || anyDraining_ || output_.Continuous() ? chunk : rendered.longest;
            data = reinterpret_cast<const uint8_t *>(samples_.data());
        }
        if (frames == 0)
            return;
        // Only an output that holds frames unheard needs the copy (a file never does,
        // past its first write).
        if (latency_ > 0 || written_ == 0 || output_.Continuous()) {
            ReserveHistory(latency_);
            history_.Push(data, size_t(frames) * frameBytes_);
        }
        // Kept for what the output holds unheard, whoever looks later; a file hears
        // what it is written at once, so only its latest chunk counts, once asked for.
        if (latency_ > 0 || written_ == 0 || output_.Continuous() || peaksWanted_)
            peaks_.Mark(written_, frames, PeakOf(data, frames, format_));
        output_.Write(data, frames);
        Check();
        outputRunning_ = true;
        written_ += frames;
        handed_ += frames;
        int64_t now = NowNs();
        for (Snapshot &snapshot : snapshots_) {
            Music::RenderState &render = snapshot.music->render;
            if (snapshot.rendered && !render.firstWritten) {
                render.firstWritten = true;
                playToFirstWriteNs_ = now - snapshot.control.playRequestNs;
            }
        }
    }

    Chunk RenderChunk(uint32_t chunk)
    {
        Chunk result;
        Snapshot *only = nullptr;
        size_t sounding = 0;
        for (Snapshot &snapshot : snapshots_)
            if (snapshot.rendered && !snapshot.music->render.ended) {
                only = &snapshot;
                ++sounding;
            }
        // One music, centred, to 16-bit: libopenmpt's own samples go out as they are (or
        // scaled to the volume), with nothing to mix (the common case, and the cheapest).
        bool direct = sounding == 1 && format_.bits == 16 && only->control.pan == 0;
        if (!direct)
            std::fill(mix_.begin(), mix_.end(), 0.0f);
        for (Snapshot &snapshot : snapshots_) {
            Music &music = *snapshot.music;
            Music::RenderState &render = music.render;
            if (!snapshot.rendered || render.ended)
                continue;
            const double msPerFrame = MsPerFrame(render);
            if (!render.songOver)
                render.trail.Mark(written_, music.CurrentPosition(), render.songMs, msPerFrame);
            // The caps, each on its own clock.
            uint64_t byPass = render.passLeft == kNoPassCap
                                  ? UINT64_MAX
                                  : uint64_t(std::ceil(std::max(render.passLeft, 0.0) / render.speed));
            uint32_t wanted = uint32_t(std::min<uint64_t>(chunk, std::min(byPass, render.limitLeft)));
            int capReason = byPass <= render.limitLeft ? TESSEL_END_PASS : TESSEL_END_LIMIT;
            uint32_t frames = 0;
            if (direct) {
                frames = wanted > 0 ? music.Render16(samples_.data(), wanted, mono_.data()) : 0;
                std::fill(samples_.begin() + 2 * std::ptrdiff_t(frames), samples_.end(), int16_t(0));
                if (snapshot.control.volume != 100)
                    ScaleSamples(samples_.data(), 2 * size_t(frames), snapshot.control.volume);
            } else if (wanted > 0) {
                frames = music.Render(music_.data(), wanted);
                MixInto(mix_.data(), music_.data(), frames, music.Mono(),
                        GainsFor(snapshot.control.volume, snapshot.control.pan));
            }
            if (render.limitLeft != UINT64_MAX)
                render.limitLeft -= frames;
            if (render.passLeft != kNoPassCap)
                render.passLeft -= frames * render.speed;
            render.songMs += frames * msPerFrame;
            TrackOrders(music);
            if (!render.songOver)
                render.latestMs = uint32_t(render.songMs);
            if (frames < chunk) {
                render.ended = true;
                render.endFrame = written_ + frames;
                render.endReason = frames == wanted ? capReason : TESSEL_END_MUSIC;
            } else {
                result.goingOn = true;
            }
            result.longest = std::max(result.longest, frames);
        }
        if (!direct)
            ConvertMix(mix_.data(), chunk, format_, samples_.data());
        return result;
    }

    // Room for what an output holding latency frames unheard may take back, with two
    // chunks to spare; twice that when it grows, so that it rarely grows again.
    void ReserveHistory(uint64_t latency)
    {
        const size_t wanted = size_t(latency + 2 * chunk_) * frameBytes_;
        if (wanted <= history_.Capacity())
            return;
        history_.Reserve(2 * wanted);
        replay_.reserve(2 * wanted);
        spare_.reserve(2 * wanted);
    }

    void Idle()
    {
        output_.Pause();
        Check();
        outputRunning_ = false;
    }

    // After every call to the output: a failure anywhere (a header update, the last
    // flush) is seen as the music ends, not at BASS_Free.
    void Check() { failed_ = failed_ || cancelled_ || !output_.Error().empty(); }

    void Publish()
    {
        latency_ = failed_ ? 0 : uint32_t(std::min<uint64_t>(output_.Latency(), written_));
        const uint64_t heard = written_ - latency_;
        heard_.clear();
        for (Snapshot &snapshot : snapshots_) {
            Music &music = *snapshot.music;
            const Music::RenderState &render = music.render;
            heard_.push_back(render.trail.Empty()
                                 ? PositionTrail::Heard{music.CurrentPosition(), uint32_t(render.songMs)}
                                 : render.trail.At(heard, render.latestMs));
        }
        // Nothing heard while the output stands still.
        Peak peak = outputRunning_ ? peaks_.Over(heard, window_) : Peak{};

        // The last music is over, or the output failed: it is paused (a file's header
        // written, the null output's clock stopped) before the end is published, so
        // that a failure of that last write comes with it.
        bool stillPlaying = std::any_of(snapshots_.begin(), snapshots_.end(), [&](const Snapshot &snapshot) {
            const Music::RenderState &render = snapshot.music->render;
            return snapshot.control.playing && !(render.ended && heard >= render.endFrame);
        });
        if ((failed_ || !stillPlaying) && outputRunning_ && !output_.Continuous())
            Idle();

        SessionState &s = state_;
        std::lock_guard<std::mutex> lock(s.lock);
        s.peakLeft = peak.left;
        s.peakRight = peak.right;
        s.framesWritten = handed_;
        s.framesHeard = heard;
        s.latencyFrames = latency_;
        s.playToFirstWriteNs = playToFirstWriteNs_;
        if (failed_ && !s.failed) {
            s.failed = true;
            if (s.error.empty() && !s.cancelled)
                s.error = output_.Error();
        }
        for (size_t i = 0; i < snapshots_.size(); ++i) {
            Music &music = *snapshots_[i].music;
            // A newer BASS_MusicPlayEx has published its own start already.
            if (music.control.generation != snapshots_[i].control.generation)
                continue;
            music.publishedPosition = heard_[i].position;
            // A looping song's time is that of the pass it is in.
            const uint32_t length = music.LengthMs();
            music.publishedMs = music.Loops() && length > 0 ? heard_[i].ms % length : heard_[i].ms;
            bool over = music.render.ended && heard >= music.render.endFrame;
            if (music.control.playing && !music.control.movePending && (over || failed_)) {
                music.control.playing = false;
                music.publishedActive = 0;
                s.endReason = s.cancelled ? TESSEL_END_CANCEL : failed_ ? TESSEL_END_ERROR : music.render.endReason;
            }
        }
    }

    SessionState &state_;
    Output &output_;
    const OutputFormat format_;
    const PlaybackCaps caps_;
    const uint32_t chunk_;
    const uint32_t frameBytes_;
    const uint64_t window_; // frames of the level meter's window

    Run run_ = Run::Stopped;
    uint32_t allowance_ = 0; // frames the output takes this pass (the offline output: what is pulled)
    std::vector<Snapshot> snapshots_;
    std::vector<PositionTrail::Heard> heard_;
    PeakTrail peaks_;
    FrameRing<uint8_t> history_;   // the last frames written, as bytes
    std::vector<uint8_t> replay_;  // taken back at a pause, written first on resume
    std::vector<uint8_t> spare_;   // the next replay_, built at a pause
    size_t replayed_ = 0;          // bytes of it written again
    std::vector<float> mix_;       // stereo
    std::vector<float> music_;     // one music, mono or stereo
    std::vector<int16_t> samples_; // what goes to the output (8-bit uses the bytes)
    std::vector<int16_t> mono_;    // a mono music's own samples
    bool anyPlaying_ = false;
    bool anyDraining_ = false;
    uint64_t written_ = 0; // the output's timeline: a pause or stop takes back what was not heard
    uint64_t handed_ = 0;  // every frame handed to the output, written again or not
    uint32_t latency_ = 0;
    int64_t playToFirstWriteNs_ = -1;
    bool peaksWanted_ = false; // TesselBass_GetPlaying has been called
    bool outputRunning_ = false;
    bool failed_ = false;    // the output failed or was cancelled: it takes nothing more
    bool cancelled_ = false; // TesselBass_Cancel
};

} // namespace

void RenderLoop(SessionState &state, Output &output, const OutputFormat &format, const PlaybackCaps &caps)
{
    Renderer(state, output, format, caps).Loop();
}

} // namespace tessel::sound
