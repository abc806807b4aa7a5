// Playback heard in real time through the null output: the position the plug-in
// reports, seeks, pause, stop, and when a music counts as over.
#include "sound_support.h"

#include <gtest/gtest.h>

#include <thread>

using namespace soundtest;
using Clock = std::chrono::steady_clock;

namespace {

uint32_t OrderOf(DWORD position)
{
    return position & 0xFFFF;
}
uint32_t RowOf(DWORD position)
{
    return position >> 16;
}

class NullOutput : public ::testing::Test {
protected:
    void TearDown() override
    {
        BASS_Free();
        TesselBass_SetOutput(TESSEL_OUTPUT_DEVICE, nullptr);
        TesselBass_SetNullBuffer(0);
    }

    HMUSIC Start(const Tune &song, DWORD modflags = BASS_MUSIC_RAMPS)
    {
        EXPECT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_NULL, nullptr));
        EXPECT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
        EXPECT_TRUE(BASS_Start());
        module_ = WriteMod(song);
        HMUSIC music = BASS_MusicLoad(TRUE, module_.data(), 0, DWORD(module_.size()), modflags);
        EXPECT_NE(0u, music);
        EXPECT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        return music;
    }

    std::vector<uint8_t> module_;
};

TEST_F(NullOutput, ReportedOrderAdvancesThroughTheSong)
{
    // 6 orders of 16 rows, 10 ms a row.
    HMUSIC music = Start(TestSong("Advance", 6, 16, 1, 250));
    EXPECT_EQ(6u, BASS_MusicGetLength(music));
    std::vector<DWORD> seen;
    while (BASS_ChannelIsActive(music) && seen.size() < 20000) {
        DWORD position = BASS_ChannelGetPosition(music);
        if (seen.empty() || seen.back() != position)
            seen.push_back(position);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    ASSERT_EQ(0u, BASS_ChannelIsActive(music));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(0u, seen.front()) << "expected to start at order 0 row 0";
    std::vector<bool> ordersSeen(6);
    for (size_t i = 0; i < seen.size(); ++i) {
        ASSERT_LT(OrderOf(seen[i]), 6u);
        ASSERT_LT(RowOf(seen[i]), 16u);
        ordersSeen[OrderOf(seen[i])] = true;
        if (i > 0) {
            uint32_t before = OrderOf(seen[i - 1]) * 1000 + RowOf(seen[i - 1]);
            uint32_t after = OrderOf(seen[i]) * 1000 + RowOf(seen[i]);
            EXPECT_LT(before, after) << "position went from " << std::hex << seen[i - 1] << " to " << seen[i];
        }
    }
    for (uint32_t order = 0; order < 6; ++order)
        EXPECT_TRUE(ordersSeen[order]) << "never reported order " << order;
    EXPECT_EQ(5u, OrderOf(BASS_ChannelGetPosition(music))) << "expected to end on the last order";
}

TEST_F(NullOutput, ReportedOrderFollowsSeeks)
{
    // 8 orders of 16 rows, 20 ms a row: 320 ms an order.
    HMUSIC music = Start(TestSong("Seek", 8, 16, 1, 125));
    ASSERT_TRUE(WaitFor([&] { return OrderOf(BASS_ChannelGetPosition(music)) >= 1; }));
    ASSERT_TRUE(BASS_ChannelSetPosition(music, 5 | 0x10000));
    ASSERT_TRUE(WaitFor([&] { return OrderOf(BASS_ChannelGetPosition(music)) == 5; }, std::chrono::seconds(1)));
    EXPECT_LT(RowOf(BASS_ChannelGetPosition(music)), 8u) << "a seek lands at the start of the order";
    // Orders out of range are refused and change nothing.
    EXPECT_FALSE(BASS_ChannelSetPosition(music, 8 | 0x10000));
    EXPECT_FALSE(BASS_ChannelSetPosition(music, 0xFFFF | 0x10000));
    ASSERT_TRUE(WaitFor(
        [&] {
            uint32_t order = OrderOf(BASS_ChannelGetPosition(music));
            EXPECT_GE(order, 5u);
            EXPECT_LT(order, 8u);
            return order == 6;
        },
        std::chrono::seconds(2)));
    // And backwards.
    ASSERT_TRUE(BASS_ChannelSetPosition(music, 2 | 0x10000));
    EXPECT_TRUE(WaitFor([&] { return OrderOf(BASS_ChannelGetPosition(music)) == 2; }, std::chrono::seconds(1)));

    // A later song, past the first end marker: starts and seeks reach it, not a marker
    // nor past the list; it ends on its last order, as libopenmpt's own subsong does.
    BASS_MusicFree(music);
    Tune marked = TestSong("Marked", 4, 64, 1, 250); // whole patterns: no break into the marker
    marked.song.orders = {0, 1, modwriter::kOrderEnd, modwriter::kOrderSkip, 2, 3};
    std::vector<uint8_t> it = WriteIt(marked);
    HMUSIC later = BASS_MusicLoad(TRUE, it.data(), 0, DWORD(it.size()), BASS_MUSIC_RAMPS);
    EXPECT_FALSE(BASS_MusicPlayEx(later, 2, BASS_MUSIC_PLAY_FLAGS, TRUE));
    ASSERT_TRUE(BASS_MusicPlayEx(later, 5 | (4 << 16), BASS_MUSIC_PLAY_FLAGS, TRUE));
    EXPECT_FALSE(BASS_ChannelSetPosition(later, 3 | 0x10000));
    EXPECT_FALSE(BASS_ChannelSetPosition(later, 6 | 0x10000));
    ASSERT_TRUE(BASS_ChannelSetPosition(later, 4 | 0x10000));
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(later) == 0; }, std::chrono::seconds(5)));
    EXPECT_EQ(5u, OrderOf(BASS_ChannelGetPosition(later))) << "expected to end on the subsong's last order";
}

// Run in a process of its own: nothing may have looked at a playing music before.
TEST_F(NullOutput, FirstLookLateStillSeesTheLevels)
{
    // A 2 s buffer, and a host that first looks 1 s after the start: the frames queued
    // meanwhile have their levels too. 16 orders of 320 ms, 5.12 s in all.
    TesselBass_SetNullBuffer(2000);
    Start(TestSong("Late look", 16, 16, 1, 125));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    TesselBassPlaying playing{};
    for (int poll = 0; poll < 9; ++poll) {
        ASSERT_EQ(1, TesselBass_GetPlaying(&playing));
        EXPECT_GT(playing.peakLeft, 0.01f) << "at " << playing.positionMs << " ms";
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

TEST_F(NullOutput, PlayingReportsTimeLengthAndLevelsOfWhatIsHeard)
{
    TesselBassPlaying playing{};
    EXPECT_EQ(0, TesselBass_GetPlaying(&playing)) << "expected no playing music before any start";
    // 8 orders of 16 rows, 20 ms a row: 320 ms an order, 2.56 s in all; heard through a
    // 300 ms buffer, so what is rendered runs well ahead of what is heard.
    TesselBass_SetNullBuffer(300);
    HMUSIC music = Start(TestSong("Playing", 8, 16, 1, 125));
    ASSERT_TRUE(WaitFor([&] { return OrderOf(BASS_ChannelGetPosition(music)) >= 1; }));
    ASSERT_EQ(1, TesselBass_GetPlaying(&playing));
    EXPECT_NEAR(2560.0, playing.lengthMs, 25.0);
    // Time and row agree, both heard rather than rendered.
    EXPECT_NEAR(playing.order * 320.0 + playing.row * 20.0, playing.positionMs, 45.0)
        << "order " << playing.order << " row " << playing.row;
    EXPECT_LT(playing.positionMs, 640u) << "expected the heard time, not the rendered one";
    EXPECT_GT(playing.peakLeft, 0.01f);
    EXPECT_GT(playing.peakRight, 0.01f);
    EXPECT_LE(playing.peakLeft, 1.0f);

    ASSERT_TRUE(BASS_ChannelSetPosition(music, 5 | 0x10000));
    ASSERT_TRUE(
        WaitFor([&] { return TesselBass_GetPlaying(&playing) && playing.order == 5; }, std::chrono::seconds(2)));
    EXPECT_NEAR(1600.0 + playing.row * 20.0, playing.positionMs, 45.0) << "the time follows the seek";

    BASS_MusicFree(music);
    EXPECT_EQ(0, TesselBass_GetPlaying(&playing)) << "expected nothing playing once the music is freed";

    // A buffer of 6 s holds the whole song (5.12 s): what is heard is still known.
    BASS_Free();
    TesselBass_SetNullBuffer(6000);
    music = Start(TestSong("Long buffer", 16, 16, 1, 125));
    ASSERT_TRUE(WaitFor([&] { return TesselBass_GetPlaying(&playing) && playing.order >= 2; }));
    EXPECT_NEAR(playing.order * 320.0 + playing.row * 20.0, playing.positionMs, 45.0)
        << "order " << playing.order << " row " << playing.row;
    EXPECT_GT(playing.peakLeft, 0.01f) << "expected the level of what is heard";
}

TEST_F(NullOutput, VolumeSetRightAfterTheStartHoldsFromTheFirstFrame)
{
    // The plug-in sets its volume a moment after the start, before it looks: nothing
    // is written before.
    HMUSIC music = Start(TestSong("Hold", 8, 16, 1, 125));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(BASS_ChannelSetAttributes(music, -1, 10, -1));
    TesselBassStats stats{};
    ASSERT_TRUE(WaitFor([&] { return TesselBass_GetStats(&stats) && stats.playToFirstWriteNs >= 0; }));
    EXPECT_GE(stats.playToFirstWriteNs, 5'000'000) << "expected nothing written before the volume was set";

    // A host that never looks at its music hears it all the same, a moment later.
    BASS_Free();
    Start(TestSong("Unwatched", 8, 16, 1, 125));
    EXPECT_TRUE(WaitFor([&] { return TesselBass_GetStats(&stats) && stats.framesWritten > 0; }));
}

TEST_F(NullOutput, PauseHoldsThePositionAndSeeksStillLand)
{
    HMUSIC music = Start(TestSong("Pause", 8, 16, 1, 125));
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(music) >= 0x10000; }));
    ASSERT_TRUE(BASS_Pause());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    DWORD held = BASS_ChannelGetPosition(music);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(held, BASS_ChannelGetPosition(music)) << "position moved while paused";
    EXPECT_NE(0u, BASS_ChannelIsActive(music)) << "a paused music is still active";

    ASSERT_TRUE(BASS_ChannelSetPosition(music, 4 | 0x10000));
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(music) == 4; }, std::chrono::seconds(1)))
        << "expected order 4 row 0 while paused, got " << std::hex << BASS_ChannelGetPosition(music);
    ASSERT_TRUE(BASS_Start());
    EXPECT_TRUE(WaitFor([&] { return OrderOf(BASS_ChannelGetPosition(music)) == 5; }, std::chrono::seconds(2)));
}

TEST_F(NullOutput, PauseLosesNothing)
{
    // 8 orders of 16 rows, 20 ms a row, through a 300 ms buffer: what was written but
    // not heard at the pause is 15 rows.
    TesselBass_SetNullBuffer(300);
    HMUSIC music = Start(TestSong("Pause", 8, 16, 1, 125));
    auto rows = [&] {
        DWORD position = BASS_ChannelGetPosition(music);
        return int(OrderOf(position) * 16 + RowOf(position));
    };
    ASSERT_TRUE(WaitFor([&] { return rows() >= 20; }));
    int before = rows();
    TesselBassStats playing{}, paused{};
    ASSERT_TRUE(TesselBass_GetStats(&playing));
    ASSERT_TRUE(BASS_Pause());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int held = rows();
    ASSERT_TRUE(TesselBass_GetStats(&paused));
    EXPECT_GE(paused.framesWritten, playing.framesWritten) << "frames written counted back at the pause";
    EXPECT_GE(paused.framesHeard, playing.framesHeard) << "frames heard counted back at the pause";
    EXPECT_LE(held - before, 1) << "the position jumped forward at the pause";
    EXPECT_GE(held, before) << "the position went back at the pause";
    ASSERT_TRUE(BASS_Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int resumed = rows();
    // About 5 rows in 100 ms, from where the pause was heard.
    EXPECT_GE(resumed, held + 2) << "expected playback to go on after the pause";
    EXPECT_LE(resumed, held + 8) << "expected playback to go on from the row heard at the pause";
}

TEST_F(NullOutput, StopEndsTheMusicAndPlayExStartsItAgain)
{
    HMUSIC music = Start(TestSong("Stop", 8, 16, 1, 125));
    ASSERT_TRUE(WaitFor([&] { return OrderOf(BASS_ChannelGetPosition(music)) >= 1; }));
    ASSERT_TRUE(BASS_Stop());
    EXPECT_EQ(0u, BASS_ChannelIsActive(music));
    ASSERT_TRUE(BASS_Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(0u, BASS_ChannelIsActive(music)) << "BASS_Start resumes the output, not a stopped music";
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    EXPECT_EQ(1u, BASS_ChannelIsActive(music));
    EXPECT_EQ(0u, BASS_ChannelGetPosition(music));
    TesselBassStats stats{};
    ASSERT_TRUE(WaitFor([&] { return TesselBass_GetStats(&stats) && stats.playToFirstWriteNs >= 0; }));
    EXPECT_LT(stats.playToFirstWriteNs, 1000000000) << "first frame a second or more after the start";
}

TEST_F(NullOutput, ActiveUntilTheLastSoundIsHeard)
{
    // A device-like buffer of 300 ms: rendering ends that long before the last frame
    // is heard, and only then may the music count as over.
    TesselBass_SetNullBuffer(300);
    Tune song = TestSong("Drain", 3, 8, 1, 250);
    uint64_t frames = ReferenceRender(WriteMod(song), 44100).size() / 2;
    Clock::time_point started = Clock::now();
    HMUSIC music = Start(song);
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; }));
    double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    EXPECT_GE(elapsed, double(frames) / 44100 - 0.005) << "inactive before the buffered sound was heard";
    TesselBassStats stats{};
    ASSERT_TRUE(TesselBass_GetStats(&stats));
    EXPECT_GE(stats.framesHeard, frames);
}

} // namespace
