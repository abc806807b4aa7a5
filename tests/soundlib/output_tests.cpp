// What the library writes: the WAV output's format for the flags the plug-in passes,
// the samples against libopenmpt's own render, and our volume, pan and speed.
#include "sound_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <thread>

using namespace soundtest;

namespace {

class WavOutput : public ::testing::Test {
protected:
    void TearDown() override
    {
        BASS_Free();
        TesselBass_SetOutput(TESSEL_OUTPUT_DEVICE, nullptr);
    }

    std::vector<uint8_t> mod_ = WriteMod(ShortSong());
    ScratchDir dir_;
};

TEST_F(WavOutput, FormatFollowsRateAndFlags)
{
    for (uint32_t freq : {22050u, 44100u, 48000u})
        for (DWORD devflags : {DWORD(0), DWORD(BASS_DEVICE_8BITS)})
            for (DWORD modflags : {DWORD(0), DWORD(BASS_MUSIC_RAMPS), DWORD(BASS_MUSIC_MONO | BASS_MUSIC_RAMP),
                                   DWORD(BASS_MUSIC_FT2MOD), DWORD(BASS_MUSIC_PT1MOD | BASS_MUSIC_MONO)}) {
                SCOPED_TRACE(testing::Message() << "freq " << freq << " devflags " << devflags << " modflags "
                                                << modflags);
                PlayOptions options;
                options.freq = freq;
                options.devflags = devflags;
                options.modflags = modflags;
                Wav wav = RenderThroughLibrary(mod_, dir_.Path("format.wav"), options);
                uint32_t bits = devflags & BASS_DEVICE_8BITS ? 8 : 16;
                EXPECT_EQ(freq, wav.rate);
                EXPECT_EQ(bits, wav.bits);
                EXPECT_EQ(2u, wav.channels);
                EXPECT_EQ(2 * bits / 8, wav.blockAlign);
                EXPECT_EQ(wav.data.size(), wav.declaredBytes);
                // The whole song, and no more than its short fade-out after it.
                uint64_t song = SongFrames(kShortOrders, 16, 1, 250, freq);
                EXPECT_GE(wav.Frames(), song);
                EXPECT_LE(wav.Frames(), song + freq / 2);
                size_t differing = 0;
                for (size_t frame = 0; frame < wav.Frames(); ++frame)
                    differing += wav.samples[2 * frame] != wav.samples[2 * frame + 1];
                if (modflags & BASS_MUSIC_MONO)
                    EXPECT_EQ(0u, differing) << "expected identical channels for mono";
                else
                    EXPECT_GT(differing, wav.Frames() / 2) << "expected the MOD's hard stereo";
            }
}

TEST_F(WavOutput, SamplesAreLibopenmptsOwn)
{
    std::vector<float> reference = ReferenceRender(mod_, 44100);
    Wav wav = RenderThroughLibrary(mod_, dir_.Path("same.wav"));
    ASSERT_EQ(reference.size(), wav.samples.size()) << "expected as many samples as libopenmpt renders";
    size_t off = 0;
    for (size_t i = 0; i < reference.size(); ++i)
        off += std::fabs(reference[i] - wav.samples[i]) > 1.0f / 32768.0f;
    EXPECT_EQ(0u, off) << "samples further than one step from libopenmpt's";

    // 8-bit output is the same signal at the coarser step.
    PlayOptions eight;
    eight.devflags = BASS_DEVICE_8BITS;
    Wav coarse = RenderThroughLibrary(mod_, dir_.Path("eight.wav"), eight);
    ASSERT_EQ(reference.size(), coarse.samples.size());
    off = 0;
    for (size_t i = 0; i < reference.size(); ++i)
        off += std::fabs(reference[i] - coarse.samples[i]) > 1.0f / 128.0f;
    EXPECT_EQ(0u, off) << "8-bit samples further than one step from libopenmpt's";
}

TEST_F(WavOutput, WhatIsSetRightAfterTheStartHoldsFromTheFirstFrame)
{
    // As the plug-in's Play does it: start, set the volume, then watch the music.
    auto render = [&](const std::string &name) {
        EXPECT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, dir_.Path(name).c_str()));
        EXPECT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
        HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS);
        EXPECT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        // Time enough for a file output to render the whole song, were it not held.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_TRUE(BASS_ChannelSetAttributes(music, -1, 50, -1));
        EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; }));
        BASS_Free();
        return ReadWav(dir_.Path(name));
    };
    Wav first = render("first.wav");
    Wav second = render("second.wav");
    std::vector<float> reference = ReferenceRender(mod_, 44100);
    ASSERT_EQ(reference.size(), first.samples.size()) << "expected as many samples as libopenmpt renders";
    size_t off = 0;
    for (size_t i = 0; i < reference.size(); ++i)
        off += std::fabs(0.5f * reference[i] - first.samples[i]) > 2.0f / 32768.0f;
    EXPECT_EQ(0u, off) << "samples not at half of libopenmpt's";
    EXPECT_TRUE(first.data == second.data) << "expected two renders to give the same file";
}

TEST_F(WavOutput, VolumeAndPanScaleTheChannels)
{
    Wav full = RenderThroughLibrary(mod_, dir_.Path("full.wav"));
    double left = full.Rms(0), right = full.Rms(1);
    ASSERT_GT(left, 0.05);
    ASSERT_GT(right, 0.05);
    struct Case {
        int volume, pan;
        double leftShare, rightShare;
    } cases[] = {
        {50, -1, 0.5, 0.5},   {0, -1, 0.0, 0.0},     {100, 100, 0.0, 1.0}, {100, -100, 1.0, 0.0},
        {100, -50, 1.0, 0.5}, {80, 25, 0.6, 0.8},    {150, 400, 0.0, 1.0}, // clamped to 100 and 100
        {-7, -400, 0.0, 0.0},                                             // clamped to 0 and -100
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume << " pan " << c.pan);
        PlayOptions options;
        options.volume = c.volume;
        options.pan = c.pan;
        Wav wav = RenderThroughLibrary(mod_, dir_.Path("level.wav"), options);
        EXPECT_NEAR(c.leftShare, wav.Rms(0) / left, 0.01);
        EXPECT_NEAR(c.rightShare, wav.Rms(1) / right, 0.01);
    }

    // A mono music is one signal panned across both sides.
    PlayOptions mono;
    mono.modflags = BASS_MUSIC_RAMPS | BASS_MUSIC_MONO;
    Wav centre = RenderThroughLibrary(mod_, dir_.Path("mono.wav"), mono);
    mono.pan = 60;
    Wav panned = RenderThroughLibrary(mod_, dir_.Path("panned.wav"), mono);
    ASSERT_GT(centre.Rms(0), 0.05);
    EXPECT_NEAR(0.4, panned.Rms(0) / centre.Rms(0), 0.01);
    EXPECT_NEAR(1.0, panned.Rms(1) / centre.Rms(1), 0.01);
}

TEST_F(WavOutput, RampingFlagsShapeTheAttack)
{
    auto left = [&](DWORD modflags) {
        PlayOptions options;
        options.modflags = modflags;
        return RenderThroughLibrary(mod_, dir_.Path("ramp.wav"), options);
    };
    // The square wave's level without ramping, a little into its first half-wave.
    const float settled = std::fabs(left(0).samples.at(2 * 60));
    ASSERT_GT(settled, 0.05f);
    auto attack = [&](DWORD modflags, size_t frame) { return std::fabs(left(modflags).samples.at(2 * frame)) / settled; };
    const size_t start = 0, oneMs = 44;
    EXPECT_GT(attack(0, start), 0.9) << "no ramping: full level from the first frame";
    EXPECT_LT(attack(BASS_MUSIC_RAMPS, start), 0.5) << "sensitive ramping: a short ramp";
    EXPECT_GT(attack(BASS_MUSIC_RAMPS, oneMs), 0.9) << "sensitive ramping: done within a millisecond";
    EXPECT_LT(attack(BASS_MUSIC_RAMP, oneMs), 0.5) << "normal ramping: still rising after a millisecond";
    EXPECT_LT(attack(BASS_MUSIC_RAMP | BASS_MUSIC_RAMPS, oneMs), 0.5) << "normal wins over sensitive";
}

TEST_F(WavOutput, ModReplayFlagsChangeModsOnly)
{
    auto render = [&](const std::vector<uint8_t> &module, DWORD modflags) {
        PlayOptions options;
        options.modflags = BASS_MUSIC_RAMPS | modflags;
        return RenderThroughLibrary(module, dir_.Path("replay.wav"), options).data;
    };
    std::vector<uint8_t> plain = render(mod_, 0), ft2 = render(mod_, BASS_MUSIC_FT2MOD),
                         pt1 = render(mod_, BASS_MUSIC_PT1MOD);
    EXPECT_NE(plain, ft2);
    EXPECT_NE(plain, pt1);
    EXPECT_NE(ft2, pt1);
    EXPECT_EQ(pt1, render(mod_, BASS_MUSIC_PT1MOD | BASS_MUSIC_FT2MOD)) << "ProTracker I wins over FastTracker II";
    std::vector<uint8_t> xm = WriteXm(ShortSong());
    EXPECT_EQ(render(xm, 0), render(xm, BASS_MUSIC_FT2MOD));
    EXPECT_EQ(render(xm, 0), render(xm, BASS_MUSIC_PT1MOD));
}

TEST_F(WavOutput, LoopKeepsPlayingPastTheEnd)
{
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, dir_.Path("loop.wav").c_str()));
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS | BASS_MUSIC_LOOP);
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    uint64_t song = SongFrames(kShortOrders, 16, 1, 250, 44100);
    TesselBassStats stats{};
    // The host's look at the music lets the WAV output start rendering it.
    EXPECT_EQ(1u, BASS_ChannelIsActive(music));
    EXPECT_TRUE(WaitFor([&] { return TesselBass_GetStats(&stats) && stats.framesWritten > 3 * song; }));
    EXPECT_EQ(1u, BASS_ChannelIsActive(music)) << "a looping music stays active";
    BASS_Free();
    Wav wav = ReadWav(dir_.Path("loop.wav"));
    ASSERT_GT(wav.Frames(), 3 * song);
    EXPECT_NEAR(wav.Rms(0, 0, song), wav.Rms(0, 2 * song, 3 * song), 0.01) << "the third pass sounds as the first";
}

TEST_F(WavOutput, PlayExStartsAgainFromTheBeginning)
{
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, dir_.Path("twice.wav").c_str()));
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS);
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; }));
        EXPECT_EQ(kShortOrders - 1, BASS_ChannelGetPosition(music) & 0xFFFF) << "ended on the last order";
    }
    BASS_Free();
    Wav wav = ReadWav(dir_.Path("twice.wav"));
    size_t half = wav.data.size() / 2;
    ASSERT_GT(half, 0u);
    EXPECT_TRUE(std::equal(wav.data.begin(), wav.data.begin() + half, wav.data.begin() + half))
        << "expected the second playback to repeat the first exactly";
}

TEST_F(WavOutput, GoesToAHostsDescriptor)
{
    const size_t samples = ReferenceRender(mod_, 44100).size();
    const std::string named = dir_.Path("named.wav");

    // A regular file: the WAV starts where the host's descriptor stands, and its sizes
    // are kept; the descriptor replaces the path chosen before it, and stays open.
    int file = CreateDescriptor(dir_.Path("host.wav"));
    ASSERT_GE(file, 0);
    ASSERT_TRUE(WriteDescriptor(file, "HOST"));
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, named.c_str()));
    ASSERT_TRUE(TesselBass_SetOutputFile(TESSEL_OUTPUT_WAV, file));
    PlayThroughLibrary(mod_);
    EXPECT_TRUE(WriteDescriptor(file, "!")) << "expected the host's descriptor still open";
    CloseDescriptor(file);
    std::vector<uint8_t> bytes = ReadFileBytes(dir_.Path("host.wav"));
    ASSERT_GT(bytes.size(), 5u);
    EXPECT_EQ("HOST", std::string(bytes.begin(), bytes.begin() + 4));
    Wav wav = ParseWav(std::vector<uint8_t>(bytes.begin() + 4, bytes.end() - 1), "the host's file");
    EXPECT_EQ(samples, wav.samples.size());
    EXPECT_EQ(wav.data.size(), wav.declaredBytes);
    EXPECT_EQ(wav.data.size() + 36, wav.declaredRiff);
    EXPECT_FALSE(std::ifstream(named).good()) << "expected nothing written to the path the descriptor replaced";

    // A pipe cannot seek: the WAV streams through, its sizes saying "to the end".
    int ends[2];
    ASSERT_TRUE(MakePipe(ends));
    std::vector<uint8_t> piped;
    std::thread reader([&] { piped = ReadToEnd(ends[0]); });
    EXPECT_TRUE(TesselBass_SetOutputFile(TESSEL_OUTPUT_WAV, ends[1]));
    PlayThroughLibrary(mod_);
    CloseDescriptor(ends[1]);
    reader.join();
    CloseDescriptor(ends[0]);
    Wav streamed = ParseWav(piped, "the pipe");
    EXPECT_EQ(0x7FFFF000u, streamed.declaredBytes);
    EXPECT_EQ(0x7FFFF024u, streamed.declaredRiff);
    EXPECT_EQ(samples, streamed.samples.size());
    EXPECT_EQ(0, TesselBass_GetOutputError(nullptr, 0));

    // A path chosen after a descriptor wins in turn.
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, named.c_str()));
    PlayThroughLibrary(mod_);
    EXPECT_EQ(samples, ReadWav(named).samples.size());
}

TEST_F(WavOutput, ChannelFrequencySetsTheSpeed)
{
    // Sign changes of the left channel in its first tenth of a second: the pitch.
    auto pitch = [](const Wav &wav) {
        int changes = 0;
        for (size_t frame = 1; frame < wav.rate / 10; ++frame)
            changes += (wav.samples[2 * frame] < 0) != (wav.samples[2 * frame - 2] < 0);
        return changes;
    };
    Wav normal = RenderThroughLibrary(mod_, dir_.Path("normal.wav"));
    PlayOptions fast;
    fast.channelFreq = 88200;
    Wav doubled = RenderThroughLibrary(mod_, dir_.Path("fast.wav"), fast);
    EXPECT_NEAR(2.0, double(pitch(doubled)) / pitch(normal), 0.1);
    uint64_t song = SongFrames(kShortOrders, 16, 1, 250, 44100);
    EXPECT_GE(doubled.Frames(), song / 2);
    EXPECT_LT(doubled.Frames(), song * 2 / 3) << "expected the song in half the time";
}

} // namespace
