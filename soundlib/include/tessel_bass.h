// Additions of our own to the BASS 0.8 function set, for hosts and benchmarks: where
// the sound goes, whatever device the settings name, and what the output has done.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Outputs. The choice takes effect at the next BASS_Init; the rate and the 8-bit flag
// given there still apply.
#define TESSEL_OUTPUT_DEVICE 0 /* the PortAudio device that BASS_Init names (default) */
#define TESSEL_OUTPUT_WAV    1 /* a WAV file, rendered as fast as the machine allows */
#define TESSEL_OUTPUT_NULL   2 /* no sound, paced by the clock like a device */

// Chooses the output for the next BASS_Init. wavPath names the file for
// TESSEL_OUTPUT_WAV (created or truncated by BASS_Init) and is ignored otherwise.
// Returns 0 for an unknown kind or a WAV output without a path.
int TesselBass_SetOutput(int kind, const char *wavPath);

// Buffer of the null output in milliseconds: how long a written frame waits before it
// counts as heard, as a device's buffer would hold it. 0 means one render chunk.
// Takes effect at the next BASS_Init.
void TesselBass_SetNullBuffer(uint32_t milliseconds);

typedef struct TesselBassStats {
    uint64_t framesWritten;     // frames handed to the output since BASS_Init
    uint64_t framesHeard;       // of those, frames already heard (written minus latency)
    uint32_t latencyFrames;     // frames written but not yet heard, at the last write
    uint32_t rate;              // output rate in Hz
    uint32_t channels;          // output channels (always 2)
    uint32_t bits;              // 8 or 16
    int64_t playToFirstWriteNs; // BASS_MusicPlayEx to its first frame accepted by the
                                // output, for the last music started; -1 until then
} TesselBassStats;

// Fills stats for the initialised output; returns 0 (and leaves stats alone) when no
// output is initialised or stats is null.
int TesselBass_GetStats(TesselBassStats *stats);

typedef struct TesselBassPlaying {
    uint32_t positionMs; // position heard in the song, in ms; follows seeks
    uint32_t lengthMs;   // one pass of the song in ms (libopenmpt's duration); 0 if unknown
    uint32_t order;      // order heard
    uint32_t row;        // row heard
    float peakLeft;      // peak of what is heard, 0..1, over roughly the last 50 ms
    float peakRight;
} TesselBassPlaying;

// Fills playing for the music that plays (the last one started with BASS_MusicPlayEx
// that is still loaded); returns 0 when none. "Heard" is what the output has really
// played: rendered position minus latency, as BASS_ChannelGetPosition reports it.
int TesselBass_GetPlaying(TesselBassPlaying *playing);

#ifdef __cplusplus
}
#endif
