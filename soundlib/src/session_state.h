// What a session's API calls and its render thread share, all under one lock: the
// music table, the requests the render thread has not seen yet, and what it publishes.
// The lock is only ever held for a few assignments, never while rendering, writing or
// loading.
#pragma once

#include "music.h"
#include "tessel_bass.h"

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tessel::sound {

enum class Run { Running, Paused, Stopped };

struct SessionState {
    std::mutex lock;
    std::condition_variable wake; // the render thread waits on it

    bool quit = false;        // BASS_Free: the render thread ends
    bool dirty = false;       // a request the render thread has not seen yet
    Run run = Run::Running;   // the output starts at once; BASS_Start after Init changes nothing
    bool failed = false;      // the output failed or was cancelled: it takes nothing more
    bool cancelled = false;   // TesselBass_Cancel
    bool peaksWanted = false; // TesselBass_GetPlaying has been called
    std::string error;        // the output's failure
    int endReason = TESSEL_END_NONE;
    std::vector<std::shared_ptr<Music>> musics;

    // Published by the render thread.
    uint64_t framesWritten = 0;
    uint64_t framesHeard = 0;
    uint32_t latencyFrames = 0;
    int64_t playToFirstWriteNs = -1;
    float peakLeft = 0;
    float peakRight = 0;

    // A request for the render thread.
    void Request()
    {
        dirty = true;
        wake.notify_all();
    }

    bool AnyPlaying() const
    {
        return std::any_of(musics.begin(), musics.end(), [](const auto &music) { return music->control.playing; });
    }

    // Every music is over, as after a failure or a stop.
    void EndAll()
    {
        for (const auto &music : musics) {
            music->control.playing = false;
            music->publishedActive = 0;
        }
    }

    // Releases the held starts whose time is up; the time (NowNs) the next one is due.
    int64_t ReleaseDueStarts(int64_t now)
    {
        int64_t next = std::numeric_limits<int64_t>::max();
        for (const auto &music : musics) {
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
};

// The level meter's window: peaks of what was heard over this last stretch.
constexpr uint32_t kPeakWindowMs = 50;

// Monotonic time in nanoseconds, as requests are stamped with it.
int64_t NowNs();

} // namespace tessel::sound
