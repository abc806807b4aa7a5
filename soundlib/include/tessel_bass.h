// Additions of our own to the BASS 0.8 function set, for hosts and benchmarks: where
// the sound goes, whatever device the settings name, and what the output has done.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Outputs. The choice takes effect at the next BASS_Init; the rate and the 8-bit flag
// given there still apply. A rate the output cannot take (0 among them) gives the
// output's own: 44100 Hz for files and the null output, the device's default rate for
// a device (also when the device refuses the rate asked for). The stats tell the rate
// in use.
#define TESSEL_OUTPUT_DEVICE 0  /* the device BASS_Init names: PortAudio, waveOut on Windows */
#define TESSEL_OUTPUT_WAV 1     /* a WAV file, rendered as fast as the machine allows */
#define TESSEL_OUTPUT_NULL 2    /* no sound, paced by the clock like a device */
#define TESSEL_OUTPUT_OFFLINE 3 /* a WAV file, rendered only as the host pulls frames */

// Chooses the output for the next BASS_Init. wavPath names the file for
// TESSEL_OUTPUT_WAV and TESSEL_OUTPUT_OFFLINE and is ignored otherwise. Returns 0 for an
// unknown kind or a file output without a path. Until a host calls it (or
// TesselBass_SetOutputFile), every BASS_Init reads TESSEL_OUTPUT ("wav:PATH", "null",
// "device" or unset); from its first call on the host's choice wins.
//
// BASS_Init never waits on the path. A regular file (or a new name) is only checked
// there, and created or truncated when the first frame is written: a music that fails
// to load leaves an existing file as it was. Any other existing file (a FIFO, a
// device) is opened at once without blocking: a FIFO that no process reads fails the
// Init. A file that cannot seek gets a streamed WAV (below).
int TesselBass_SetOutput(int kind, const char *wavPath);

// For TESSEL_OUTPUT_WAV or TESSEL_OUTPUT_OFFLINE: the next BASS_Init writes to fd, an
// already open descriptor (on Windows one of msvcrt's), instead of opening a path. It
// must stay open until BASS_Init returns. The library writes to its own duplicate and
// closes only that, from BASS_Init to BASS_Free; it never removes or truncates what it
// did not create. A regular file gets its header kept up to date as any seekable file;
// the WAV starts at the descriptor's position. One that cannot seek (a pipe, a FIFO, a
// terminal, a descriptor that appends) gets a streamed WAV: written straight through,
// never seeked, with data size 0x7FFFF000 and RIFF size 0x7FFFF024 in its header.
// Returns 0 for an unknown kind or a descriptor that is not open for writing. This
// and TesselBass_SetOutput replace each other's choice: the last call wins.
int TesselBass_SetOutputFile(int kind, int fd);

// Why a music stopped on the offline output.
#define TESSEL_END_NONE 0   /* it has not */
#define TESSEL_END_MUSIC 1  /* the song ended by itself */
#define TESSEL_END_PASS 2   /* one pass of a looping song */
#define TESSEL_END_LIMIT 3  /* the time limit */
#define TESSEL_END_ERROR 4  /* the output failed (TesselBass_GetOutputError) */
#define TESSEL_END_CANCEL 5 /* TesselBass_Cancel */

// Limits of the offline output, for each music played on it, from the next BASS_Init:
// at most limitMs of sound (0: no limit), and with onePass, a looping song ends after
// one pass (libopenmpt's duration of it, in song time: at half speed the pass lasts
// twice as long). Default: no limit, one pass.
void TesselBass_SetOfflineLimit(uint32_t limitMs, int onePass);

// The offline output: lets up to frames more frames be rendered into the file and
// waits until they are in it, under a header that counts them. Returns the frames
// that reached the file (fewer when the output failed meanwhile); 0 once nothing
// more will come (the music is over, paused or stopped, nothing plays, the output
// failed or is not the offline output). Nothing renders before a pull, so everything
// the host sets after BASS_MusicPlayEx applies from the first frame. Pulls from
// several threads take turns; BASS_Pause, BASS_Stop and BASS_MusicFree take effect
// at once, and a pull under way returns with what it got. end, when not null, gets
// why the last music ended, as the music counts as ended (BASS_ChannelIsActive 0)
// once its last frame is written.
uint32_t TesselBass_Pull(uint32_t frames, int *end);

// The output's failure, if any: a write or close of a file that failed (full disk,
// file-size limit, I/O error), a device that went away during playback. It sticks:
// the output takes nothing more, every music ends, and the failure stays readable
// after BASS_Free until the next BASS_Init. It is readable by the time the music it
// ends counts as ended, whichever write failed (a header update, a last flush).
// Returns 0 when all went well; else copies a readable reason into text (size bytes,
// always terminated) and returns 1.
int TesselBass_GetOutputError(char *text, uint32_t size);

// Buffer of the null output in milliseconds: how long a written frame waits before it
// counts as heard, as a device's buffer would hold it. 0 means one render chunk; at
// most 10000. Takes effect at the next BASS_Init.
void TesselBass_SetNullBuffer(uint32_t milliseconds);

// Ends at once whatever the library waits on for the live output: a TesselBass_Pull
// under way (it returns the frames that reached the file so far), or a render blocked
// on a file or pipe whose reader does not read. The output then takes nothing more,
// as after a failure, though TesselBass_GetOutputError reports none: every later pull
// returns 0 with end TESSEL_END_CANCEL, the music counts as ended, and a seekable WAV
// keeps a header that counts the whole frames it holds once BASS_Free returns. It
// lasts until the next BASS_Init; with no output initialised it does nothing. Safe to
// call from any thread and from a signal handler (it only stores a flag and writes to
// a pipe).
void TesselBass_Cancel(void);

// Builds the engine's process-wide tables now, as the first load would: processes
// forked after this call share them instead of each building its own.
void TesselBass_WarmUp(void);

typedef struct TesselBassStats {
    uint64_t framesWritten;     // frames handed to the output since BASS_Init; those
                                // a pause dropped unheard count again when written again
    uint64_t framesHeard;       // frames heard since BASS_Init (a pause or stop drops
                                // the rest unheard); never goes back
    uint32_t latencyFrames;     // frames written but not yet heard, at the last write
    uint32_t rate;              // output rate in Hz
    uint32_t channels;          // output channels (always 2)
    uint32_t bits;              // 8 or 16
    int64_t playToFirstWriteNs; // BASS_MusicPlayEx to its first frame accepted by the
                                // output, for the last music started, the start's hold
                                // (see TesselBass_GetPlaying) included; -1 until then
} TesselBassStats;

// Fills stats for the initialised output; returns 0 (and leaves stats alone) when no
// output is initialised or stats is null.
int TesselBass_GetStats(TesselBassStats *stats);

typedef struct TesselBassPlaying {
    uint32_t positionMs; // position heard in the song, in ms of song time (at half speed
                         // it goes at half the pace); follows seeks. A looping song's is
                         // the time into the pass it is in: back to 0 as each pass
                         // begins, never past lengthMs
    uint32_t lengthMs;   // one pass of the song in ms (libopenmpt's duration); 0 if unknown
    uint32_t order;      // order heard
    uint32_t row;        // row heard
    float peakLeft;      // peak of what is heard, 0..1, over roughly the last 50 ms
    float peakRight;
} TesselBassPlaying;

// Fills playing for the music that plays (the last one started with BASS_MusicPlayEx
// that is still loaded); returns 0 when none. "Heard" is what the output has really
// played: rendered position minus latency, as BASS_ChannelGetPosition reports it.
//
// On every output but the offline one, a music started by BASS_MusicPlayEx is held
// until the host first looks at it (BASS_ChannelIsActive or BASS_ChannelGetPosition),
// sets its attributes, or about 50 ms have passed: what a host sets right after the
// start, as the plug-in sets its volume, holds from the first frame.
int TesselBass_GetPlaying(TesselBassPlaying *playing);

// What a host may ask about a module file without playing it, as libopenmpt reads it:
// no output, no music loaded, nothing shared with what plays.
#define TESSEL_FILE_TEXT 64 /* bytes of each text field, terminator included */

typedef struct TesselBassSubsong {
    uint32_t startOrder; // the order position it starts at
    uint32_t durationMs; // one pass of it, without looping
} TesselBassSubsong;

typedef struct TesselBassFileFacts {
    uint64_t fileBytes;             // size of the file
    uint32_t durationMs;            // all subsongs, one after another
    uint32_t subsongs;              // how many the module holds (at least 1)
    char format[TESSEL_FILE_TEXT];  // libopenmpt's long name of the format ("Impulse Tracker")
    char tracker[TESSEL_FILE_TEXT]; // the tracker that saved it, as libopenmpt guesses; may be ""
} TesselBassFileFacts;

// Results of TesselBass_DescribeFile.
#define TESSEL_FILE_OK 0
#define TESSEL_FILE_UNREADABLE 1 /* no regular file, not readable, empty or over 1 GiB */
#define TESSEL_FILE_NOT_MODULE 2 /* libopenmpt takes it for no module, or it is damaged */
#define TESSEL_FILE_BAD_CALL 3   /* path or facts is null */

// Fills facts, and the first maxSubsongs entries of subsongs (which may be null when
// maxSubsongs is 0) in libopenmpt's subsong order; facts->subsongs tells how many there
// are, also beyond maxSubsongs. Texts are cut to fit, always terminated. On any result
// but TESSEL_FILE_OK, facts is zeroed. Safe from any thread, while music plays. The file
// that BASS_MusicLoad read whole last, when it holds one subsong and is still the same
// file (device, inode, size, modification and change times), is answered from that
// load without reading it again; a host asking about what it has just played pays once.
int TesselBass_DescribeFile(const char *path, TesselBassFileFacts *facts, TesselBassSubsong *subsongs,
                            uint32_t maxSubsongs);

#ifdef __cplusplus
}
#endif
