// One loaded music: the libopenmpt module with the load flags applied, what never
// changes after the load (name, order list), and the three sides that different
// threads touch, each with its owner named.
#pragma once

#include "quiet.h"
#include "trails.h"

#include <libopenmpt/libopenmpt.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessel::sound {

// Position word as BASS reports it: order in the low 16 bits, row in the high 16.
inline uint32_t PositionWord(uint32_t order, uint32_t row)
{
    return (order & 0xFFFF) | (row << 16);
}

class Music {
public:
    // nullptr when the data is not a module libopenmpt can play.
    static std::unique_ptr<Music> Load(const void *data, size_t size, uint32_t flags, uint32_t rate);
    // Has libopenmpt build its process-wide tables now rather than at the first load.
    static void WarmUp();

    // Fixed at load; read from any thread.
    const std::string &Name() const { return name_; }   // 8-bit, as the file has it
    uint32_t OrderCount() const { return orderCount_; } // up to the first end marker
    uint32_t LengthMs() const { return lengthMs_; }     // one pass; 0 if unknown
    double LengthSeconds() const { return lengthSeconds_; }
    // An order of the whole list (a later subsong's too) where a start or seek may land:
    // no end marker, and past the first one no skip entry either.
    bool ValidOrder(uint32_t order) const;
    bool ValidStart(uint32_t order, uint32_t row) const;
    // What libopenmpt told of the data at the load, for the file's facts.
    const std::string &Format() const { return format_; } // its type_long, UTF-8
    const std::string &Tracker() const { return tracker_; }
    int32_t Subsongs() const { return subsongs_; }
    uint32_t FirstOrder() const { return firstOrder_; } // where the first subsong starts
    uint64_t Bytes() const { return bytes_; }           // of the data loaded

    // Render thread only (and the loading thread before the music is published).
    // Renders up to frames frames (one channel when mono, interleaved stereo otherwise)
    // into out; fewer means the music has ended.
    uint32_t Render(float *out, uint32_t frames);
    // The same as 16-bit samples rounded by libopenmpt, always interleaved stereo
    // (mono sits in both channels); mono needs frames spare samples in scratch.
    uint32_t Render16(int16_t *out, uint32_t frames, int16_t *scratch);
    bool Mono() const { return mono_; }
    bool Loops() const { return loops_; }
    uint32_t CurrentPosition() const;
    uint32_t CurrentMs() const; // libopenmpt's time of the position: output time at the speed
    void MoveTo(uint32_t order, uint32_t row);
    // Playback speed relative to the output rate (BASS's channel frequency), as near
    // the factor as libopenmpt allows; returns the speed it plays at.
    double SetSpeed(double factor);

    uint32_t handle = 0;

    // Requests from the API, guarded by the session's state lock.
    struct Control {
        bool playing = false;     // started and not yet ended-and-heard, nor stopped
        uint32_t generation = 0;  // one more for every BASS_MusicPlayEx
        bool movePending = false; // a start or seek not yet applied
        uint32_t moveOrder = 0;
        uint32_t moveRow = 0;
        int volume = 100;          // 0..100
        int pan = 0;               // -100 (left) .. 100 (right)
        int freq = 0;              // channel frequency in Hz, 0 = the output's rate
        int64_t playRequestNs = 0; // when the last BASS_MusicPlayEx came
        bool held = false;         // started, not rendered until the host looks at it
        int64_t holdUntilNs = 0;   // or until then
    } control;

    // Render thread only.
    struct RenderState {
        uint32_t generation = 0;   // of the playback being rendered
        bool ended = false;        // libopenmpt has nothing more to give
        uint64_t endFrame = 0;     // output frame after its last rendered frame
        bool firstWritten = false; // first frame of this playback reached the output
        int freq = 0;
        double speed = 1.0; // song time per output time
        // The one clock of song time: set where a start or a move lands, then going on
        // at the speed (libopenmpt's own position counts output time).
        double songMs = 0;
        uint32_t latestMs = 0; // song time rendered so far, until the song is over
        // The offline output's caps on this playback: song time left of one pass of a
        // looping song (in output frames at speed 1), output frames left of the limit.
        double passLeft = 0;
        uint64_t limitLeft = 0;
        int endReason = 0; // why it ended (TESSEL_END_)
        PositionTrail trail;
        // Orders entered since the last start or move. A music that does not loop and
        // comes back to one of them has reached its end: libopenmpt then fades out
        // parked at the restart position, which nobody should see reported.
        std::vector<bool> entered;
        uint32_t lastOrder = 0;
        bool songOver = false;
    } render;

    // What is heard, as the queries report it: written by the render thread (and by
    // the API calls that start or stop the music), read and written only under the
    // session's state lock.
    uint32_t publishedPosition = 0;
    uint32_t publishedActive = 0;
    uint32_t publishedMs = 0;

private:
    Music() = default;

    ModuleLog log_; // before module_: libopenmpt writes to it for the module's life
    std::unique_ptr<openmpt::module> module_;
    std::string name_;
    uint32_t orderCount_ = 0;
    uint32_t lengthMs_ = 0;
    double lengthSeconds_ = 0;
    struct OrderEntry {
        bool reachable; // by a start or seek (ValidOrder)
        uint32_t rows;  // 0 for a marker ("+++" or "---")
    };
    std::vector<OrderEntry> orders_; // the whole order list
    std::string format_, tracker_;
    int32_t subsongs_ = 1;
    uint32_t firstOrder_ = 0;
    uint64_t bytes_ = 0;

    uint32_t rate_ = 44100;
    bool mono_ = false;
    bool loops_ = false;
    double speed_ = 1.0;
};

// libopenmpt's UTF-8 text as Windows-1252, '?' for what that code page lacks: the
// name of a format whose own bytes we do not read.
std::string Utf8ToWindows1252(const std::string &text);

} // namespace tessel::sound
