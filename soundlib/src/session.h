// One BASS_Init's output and everything that goes with it: the music table, the render
// thread that mixes the musics, and a thread that carries a TesselBass_Cancel out. Built
// whole by Open, ended by End (BASS_Free), so that nothing outlives it to be reset.
//
// Locks: state_.lock guards the music table and every request to the render thread
// (see SessionState). A load parses with no lock at all. A host's Pull waits on the
// offline output, never holding state_.lock; pullTurn_ lets one pull in at a time.
#pragma once

#include "library_pin.h"
#include "output.h"
#include "output_choice.h"
#include "render_loop.h"
#include "session_state.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tessel::sound {

class PulledOutput;

// What the next BASS_Init opens, as the host set it beforehand.
struct SessionConfig {
    OutputChoice output;
    uint32_t nullBufferMs = 0;
    uint32_t offlineLimitMs = 0;
    bool offlineOnePass = true;
};

class Session {
public:
    // nullptr, with the reason in error, when the output cannot be opened.
    static std::shared_ptr<Session> Open(int device, uint32_t freq, uint32_t flags, const SessionConfig &config,
                                         std::string &error);
    Session(std::unique_ptr<Output> output, PulledOutput *pulled, const OutputFormat &format, const PlaybackCaps &caps);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Ends the render thread and closes the output; every later call fails. Callers
    // still under way are let go.
    void End();

    bool Start();
    bool Pause();
    bool Stop();

    // loaded, when given, sees the music before it is published.
    uint32_t LoadMusic(const void *data, size_t size, uint32_t flags,
                       const std::function<void(const Music &)> &loaded = nullptr);
    bool FreeMusic(uint32_t handle);
    bool PlayMusic(uint32_t handle, uint32_t position);
    const char *MusicName(uint32_t handle);
    uint32_t MusicLength(uint32_t handle);
    uint32_t MusicPosition(uint32_t handle);
    bool SetMusicPosition(uint32_t handle, uint32_t position);
    bool SetMusicAttributes(uint32_t handle, int freq, int volume, int pan);
    uint32_t MusicActive(uint32_t handle);

    uint32_t Pull(uint32_t frames, int *end);
    bool GetStats(TesselBassStats *stats);
    bool GetPlaying(TesselBassPlaying *playing);
    // The output's failure ("" while all is well).
    std::string Error();

private:
    // Waits on the cancel pipe and carries a cancel out; ends with the session.
    void WatchForCancel();
    void StopThreads();
    // state_.lock held for these.
    std::shared_ptr<Music> Find(uint32_t handle);
    void ReleaseStart(Music &music);

    const OutputFormat format_;
    const std::unique_ptr<Output> output_;
    PulledOutput *const pulled_; // output_, when it is the offline output
    const PlaybackCaps caps_;
    const size_t trailLength_; // marks each music's position trail keeps (TrailLength)
    // A music started by BASS_MusicPlayEx waits for the host's first look at it
    // (BASS_ChannelIsActive or BASS_ChannelGetPosition), its first attributes, or a
    // short while: what the host sets right after the start, as the plug-in sets its
    // volume, then holds from the first frame, and two renders to a file are the
    // same. The offline output needs no hold: nothing renders before a pull.
    const bool holdStarts_;

    SessionState state_;
    // Guarded by state_.lock.
    uint32_t playingHandle_ = 0; // the last music started
    bool watcherQuit_ = false;

    std::mutex pullTurn_;
    std::mutex endLock_;
    bool ended_ = false; // guarded by endLock_
    // While the threads run; let go in End, on the host's call, never by whichever
    // caller happens to drop the session last.
    std::optional<LibraryPin> pin_{std::in_place};
    std::thread watcher_;
    std::thread render_;
};

} // namespace tessel::sound
