// The library's one engine: the initialised output, the loaded musics and the render
// thread that mixes them. BASS 0.8 has one output per process, and so has this.
//
// Locks: controlLock_ serialises the calls that build or tear down (Init, Free, Load),
// which may take long; stateLock_ guards the music table and every request to the
// render thread and is only ever held for a few assignments, never while rendering,
// writing or loading. The render thread takes stateLock_ twice per chunk.
#pragma once

#include "mixer.h"
#include "music.h"
#include "output.h"
#include "tessel_bass.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
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
    void SetNullBuffer(uint32_t milliseconds);
    bool GetStats(TesselBassStats *stats);
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
    static Chunk RenderChunk(std::vector<Snapshot> &snapshots, const OutputFormat &format, uint64_t written,
                             uint32_t chunk, ChunkBuffers &buffers);
    void PublishPeaks(const PeakTrail &peaks, uint64_t heard, uint32_t rate);
    void FreeLocked();
    void RenderLoop();
    std::shared_ptr<Music> Find(uint32_t handle); // stateLock_ held

    std::mutex controlLock_;
    std::mutex stateLock_;
    std::condition_variable wake_;

    // Guarded by controlLock_.
    int outputKind_ = TESSEL_OUTPUT_DEVICE;
    std::string wavPath_;
    uint32_t nullBufferMs_ = 0;
    std::thread thread_;

    // Guarded by stateLock_.
    bool initialised_ = false;
    bool quit_ = false;
    bool dirty_ = false; // a request the render thread has not seen yet
    Run run_ = Run::Stopped;
    std::vector<std::shared_ptr<Music>> musics_;
    uint32_t nextHandle_ = 1;
    uint32_t playingHandle_ = 0; // the last music started

    // Set by Init before the render thread starts and left alone until it has been
    // joined; in between only the render thread uses the output (and Free's Interrupt).
    OutputFormat format_;
    std::unique_ptr<Output> output_;

    // Published by the render thread.
    std::atomic<uint64_t> framesWritten_{0};
    std::atomic<uint64_t> framesHeard_{0};
    std::atomic<uint32_t> latencyFrames_{0};
    std::atomic<int64_t> playToFirstWriteNs_{-1};
    std::atomic<float> peakLeft_{0};
    std::atomic<float> peakRight_{0};
};

} // namespace tessel::sound
