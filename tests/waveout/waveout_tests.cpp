// Our BASS.dll on WinMM waveOut, under Wine on ALSA's null PCM (the test's HOME holds
// an .asoundrc that makes it the default): one device that takes every write at once.
#include "sound_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <thread>

using namespace soundtest;

namespace {

uint64_t FramesWritten()
{
    TesselBassStats stats{};
    EXPECT_TRUE(TesselBass_GetStats(&stats));
    return stats.framesWritten;
}

TEST(WaveOut, DevicesAreNamedAsWaveOutNamesThem)
{
    UINT count = waveOutGetNumDevs();
    ASSERT_GE(count, 1u) << "expected ALSA's null PCM as a waveOut device";
    for (UINT id = 0; id < count; ++id) {
        WAVEOUTCAPSA caps{};
        ASSERT_EQ(MMSYSERR_NOERROR, waveOutGetDevCapsA(id, &caps, sizeof caps));
        char *description = nullptr;
        ASSERT_TRUE(BASS_GetDeviceDescription(int(id), &description)) << "device " << id;
        EXPECT_STREQ(caps.szPname, description);
    }
    char *description = nullptr;
    EXPECT_FALSE(BASS_GetDeviceDescription(int(count), &description)) << "one past the last device";
    EXPECT_FALSE(BASS_Init(int(count), 44100, 0, nullptr)) << "a device that does not exist";
    EXPECT_FALSE(BASS_Init(-2, 44100, 0, nullptr));
}

TEST(WaveOut, PlaysPausesResumesStopsAndStartsAgainAfterFree)
{
    std::vector<uint8_t> module = WriteXm(ShortSong());
    uint64_t song = SongFrames(kShortOrders, 16, 1, 250, 44100);
    // The default device (WAVE_MAPPER), then the first one by number, at both widths;
    // each Init after the Free of the one before.
    const struct {
        int device;
        DWORD devflags;
    } runs[] = {{-1, 0}, {0, BASS_DEVICE_8BITS}, {-1, 0}};
    for (const auto &run : runs) {
        SCOPED_TRACE(testing::Message() << "device " << run.device << " devflags " << run.devflags);
        ASSERT_TRUE(BASS_Init(run.device, 44100, run.devflags, nullptr));
        ASSERT_TRUE(BASS_Start());
        HMUSIC music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), BASS_MUSIC_RAMPS);
        ASSERT_NE(0u, music);
        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; })) << "expected the music to end";
        EXPECT_EQ(kShortOrders - 1, BASS_ChannelGetPosition(music) & 0xFFFF) << "ended on the last order";
        EXPECT_GE(FramesWritten(), song);

        // Paused, the device takes nothing; resumed, it goes on.
        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        ASSERT_TRUE(BASS_Pause());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        uint64_t paused = FramesWritten();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(paused, FramesWritten()) << "expected no writes while paused";
        EXPECT_EQ(1u, BASS_ChannelIsActive(music)) << "a paused music is still playing";
        ASSERT_TRUE(BASS_Start());
        EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; })) << "expected it to end after resuming";
        EXPECT_GT(FramesWritten(), paused);

        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        ASSERT_TRUE(BASS_Stop());
        EXPECT_EQ(0u, BASS_ChannelIsActive(music)) << "stopped";
        BASS_Free();
        EXPECT_FALSE(TesselBass_GetStats(nullptr));
    }
}

} // namespace
