// The library's one engine: the initialised output, the loaded musics and the render
// thread that mixes them. BASS 0.8 has one output per process, and so has this. The
// calls from the host live in engine.cpp, the render thread in render_loop.cpp.
//
// Locks: controlLock_ serialises the calls that build or tear down an output (Init,
// Free), which may take long; stateLock_ guards the music table and every request to
// the render thread and is only ever held for a few assignments, never while rendering,
// writing or loading. A load parses with no lock at all. The render thread takes
// stateLock_ twice per chunk. A host's Pull of the offline output waits on stateLock_'s
// condition, never holding it.
#pragma once

#include "library_pin.h"
#include "music.h"
#include "output.h"
#include "tessel_bass.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tessel::sound {

class Engine {
public:
    static Engine &Instance();

    bool Init(int device, uint32_t freq, uint32_t flags);
    void Free();
    bool Start();
    bool Pause();
    bool Stop();

    uint32_t LoadMusic(const void *data, size_t size, uint32_t flags);
    bool FreeMusic(uint32_t handle);
    bool PlayMusic(uint32_t handle, uint32_t position);
    const char *MusicName(uint32_t handle);
    uint32_t MusicLength(uint32_t handle);
    uint32_t MusicPosition(uint32_t handle);
    bool SetMusicPosition(uint32_t handle, uint32_t position);
    bool SetMusicAttributes(uint32_t handle, int freq, int volume, int pan);
    uint32_t MusicActive(uint32_t handle);

    bool SetOutput(int kind, const char *wavPath);
    bool SetOutputFile(int kind, int fd);
    void SetNullBuffer(uint32_t milliseconds);
    void SetOfflineLimit(uint32_t limitMs, bool onePass);
    uint32_t Pull(uint32_t frames, int *end);
    bool GetStats(TesselBassStats *stats);
    bool GetOutputError(char *text, uint32_t size);
    bool GetPlaying(TesselBassPlaying *playing);

    ~Engine();

private:
    enum class Run { Running, Paused, Stopped };
    class Renderer;

    Engine() = default;
    void FreeLocked();
    void RenderLoop();
    // Waits on the cancel pipe and carries a cancel out; ends with the output.
    void WatchForCancel();
    void StopWatcher();
    // stateLock_ held for these.
    std::shared_ptr<Music> Find(uint32_t handle);
    bool AnyPlaying() const;
    void ReleaseStart(Music &music);
    // Releases the held starts whose time is up; the time (NowNs) the next one is due.
    int64_t ReleaseDueStarts(int64_t now);

    std::mutex controlLock_;
    std::mutex stateLock_;
    std::condition_variable wake_;     // the render thread waits on it
    std::condition_variable pullDone_; // a host's Pull waits on it

    // Guarded by controlLock_.
    int outputKind_ = TESSEL_OUTPUT_DEVICE;
    std::string wavPath_;
    int wavFd_ = -1;               // a host's descriptor instead of wavPath_
    bool hostChoseOutput_ = false; // TesselBass_SetOutput was called: TESSEL_OUTPUT is ignored
    uint32_t nullBufferMs_ = 0;
    uint32_t offlineLimitMs_ = 0;
    bool offlineOnePass_ = true;
    std::thread thread_;
    std::thread watcher_;           // WatchForCancel, while thread_ runs
    std::optional<LibraryPin> pin_; // while thread_ runs

    // Guarded by stateLock_.
    bool initialised_ = false;
    uint64_t session_ = 0; // one more for every Init: a load that spans a Free is refused
    bool quit_ = false;
    bool renderDone_ = false; // the render thread has flushed the output for good
    bool watcherQuit_ = false;
    bool cancelled_ = false; // TesselBass_Cancel: the output takes nothing more
    bool dirty_ = false; // a request the render thread has not seen yet
    Run run_ = Run::Stopped;
    std::vector<std::shared_ptr<Music>> musics_;
    uint32_t nextHandle_ = 1;
    // A music started by BASS_MusicPlayEx waits for the host's first look at it
    // (BASS_ChannelIsActive or BASS_ChannelGetPosition), its first attributes, or a
    // short while: what the host sets right after the start, as the plug-in sets its
    // volume, then holds from the first frame, and two renders to a file are the
    // same. The offline output needs no hold: nothing renders before a pull.
    bool holdStarts_ = false;
    uint32_t playingHandle_ = 0; // the last music started
    std::string error_;          // the output's failure, kept until the next Init
    bool outputFailed_ = false;  // published by the render thread
    // The offline output's handshake: a Pull lets credit_ frames through and waits
    // until the render thread has written them, or has nothing to write: then it marks
    // idleSeq_ with the pull's number, so that no pull waits on an idle engine.
    bool pulled_ = false;      // the output is the offline output
    bool pulling_ = false;     // a Pull is under way (one at a time)
    uint32_t credit_ = 0;      // frames the Pull under way still lets through
    uint32_t pullTaken_ = 0;   // frames of it that reached the file
    uint64_t pullSeq_ = 0;     // number of the last Pull
    uint64_t idleSeq_ = 0;     // pullSeq_ when the render thread last found nothing to do

    // Set by Init before the render thread starts and left alone until it has been
    // joined; in between only the render thread uses the output (and Free's Interrupt).
    OutputFormat format_;
    std::unique_ptr<Output> output_;
    uint64_t limitFrames_ = 0; // per playback on the offline output: 0 none
    bool onePass_ = false;

    // Published by the render thread.
    std::atomic<uint64_t> framesWritten_{0};
    std::atomic<uint64_t> framesHeard_{0};
    std::atomic<uint32_t> latencyFrames_{0};
    std::atomic<int64_t> playToFirstWriteNs_{-1};
    std::atomic<float> peakLeft_{0};
    std::atomic<float> peakRight_{0};
    std::atomic<bool> peaksWanted_{false}; // TesselBass_GetPlaying has been called
    std::atomic<int> endReason_{TESSEL_END_NONE};
};

// Monotonic time in nanoseconds, as requests are stamped with it.
int64_t NowNs();

} // namespace tessel::sound
