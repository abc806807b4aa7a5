// The library's one engine: the initialised output, the loaded musics and the render
// thread that mixes them. BASS 0.8 has one output per process, and so has this.
//
// Locks: controlLock_ serialises the calls that build or tear down (Init, Free, Load),
// which may take long; stateLock_ guards the music table and every request to the
// render thread and is only ever held for a few assignments, never while rendering,
// writing or loading. The render thread takes stateLock_ twice per chunk. A host's
// Pull of the offline output waits without any lock.
#pragma once

#include "library_pin.h"
#include "mixer.h"
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

    // What the render thread takes from one music per pass.
    struct Snapshot {
        std::shared_ptr<Music> music;
        Music::Control control;
    };

    // The render thread's buffers for one chunk.
    struct ChunkBuffers {
        explicit ChunkBuffers(uint32_t chunk);
        std::vector<float> mix;       // stereo
        std::vector<float> music;     // one music, mono or stereo
        std::vector<int16_t> samples; // what goes to the output (8-bit uses the bytes)
        std::vector<int16_t> mono;    // a mono music's own samples
    };
    struct Chunk {
        uint32_t longest = 0;  // frames of the music that rendered most
        bool goingOn = false;  // some music filled the whole chunk
    };

    Engine() = default;
    void StartPlayback(Music &music, const OutputFormat &format);
    static Chunk RenderChunk(std::vector<Snapshot> &snapshots, const OutputFormat &format, uint64_t written,
                             uint32_t chunk, ChunkBuffers &buffers);
    void PublishPeaks(const PeakTrail &peaks, uint64_t heard, uint32_t rate);
    void FreeLocked();
    void RenderLoop();
    std::shared_ptr<Music> Find(uint32_t handle); // stateLock_ held
    void ReleaseStart(Music &music);              // stateLock_ held

    std::mutex controlLock_;
    std::mutex stateLock_;
    std::condition_variable wake_;

    // Guarded by controlLock_.
    int outputKind_ = TESSEL_OUTPUT_DEVICE;
    std::string wavPath_;
    int wavFd_ = -1; // a host's descriptor instead of wavPath_
    bool hostChoseOutput_ = false; // TesselBass_SetOutput was called: TESSEL_OUTPUT is ignored
    uint32_t nullBufferMs_ = 0;
    uint32_t offlineLimitMs_ = 0;
    bool offlineOnePass_ = true;
    std::thread thread_;
    std::optional<LibraryPin> pin_; // while thread_ runs

    // Guarded by stateLock_.
    bool initialised_ = false;
    bool quit_ = false;
    bool dirty_ = false; // a request the render thread has not seen yet
    Run run_ = Run::Stopped;
    std::vector<std::shared_ptr<Music>> musics_;
    uint32_t nextHandle_ = 1;
    // A file takes frames as fast as they come, so a music started on it waits for
    // the host's first look at it (BASS_ChannelIsActive or BASS_ChannelGetPosition):
    // what the host sets right after BASS_MusicPlayEx, as the plug-in sets its
    // volume, then holds from the first frame, and two renders are identical.
    bool holdStarts_ = false;
    uint32_t playingHandle_ = 0; // the last music started
    std::string error_;          // the output's failure, kept until the next Init
    bool outputFailed_ = false;  // published by the render thread
    int pulls_ = 0;              // host threads inside the offline output's Pull
    std::condition_variable pullsDone_;

    // Set by Init before the render thread starts and left alone until it has been
    // joined; in between only the render thread uses the output (and Free's Interrupt).
    OutputFormat format_;
    std::unique_ptr<Output> output_;
    OfflineOutput *offline_ = nullptr; // output_ when it is the offline output
    uint64_t limitFrames_ = 0;         // per playback: 0 none
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

} // namespace tessel::sound
