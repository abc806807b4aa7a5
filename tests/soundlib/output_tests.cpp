// What the library writes: the WAV output's format for the flags the plug-in passes,
// the samples against libopenmpt's own render, and our volume, pan and speed.
#include "sound_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <future>
#include <thread>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

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
    testkit::TempFolder dir_;
};

TEST_F(WavOutput, FormatFollowsRateAndFlags)
{
    for (uint32_t freq : {22050u, 44100u, 48000u})
        for (DWORD devflags : {DWORD(0), DWORD(BASS_DEVICE_8BITS)})
            for (DWORD modflags : {DWORD(0), DWORD(BASS_MUSIC_RAMPS), DWORD(BASS_MUSIC_MONO | BASS_MUSIC_RAMP),
                                   DWORD(BASS_MUSIC_FT2MOD), DWORD(BASS_MUSIC_PT1MOD | BASS_MUSIC_MONO)}) {
                SCOPED_TRACE(testing::Message()
                             << "freq " << freq << " devflags " << devflags << " modflags " << modflags);
                PlayOptions options;
                options.freq = freq;
                options.devflags = devflags;
                options.modflags = modflags;
                Wav wav = RenderThroughLibrary(mod_, dir_.File("format.wav"), options);
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
    Wav wav = RenderThroughLibrary(mod_, dir_.File("same.wav"));
    ASSERT_EQ(reference.size(), wav.samples.size()) << "expected as many samples as libopenmpt renders";
    size_t off = 0;
    for (size_t i = 0; i < reference.size(); ++i)
        off += std::fabs(reference[i] - wav.samples[i]) > 1.0f / 32768.0f;
    EXPECT_EQ(0u, off) << "samples further than one step from libopenmpt's";

    // 8-bit output is the same signal at the coarser step.
    PlayOptions eight;
    eight.devflags = BASS_DEVICE_8BITS;
    Wav coarse = RenderThroughLibrary(mod_, dir_.File("eight.wav"), eight);
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
        EXPECT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, dir_.File(name).c_str()));
        EXPECT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
        HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS);
        EXPECT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        // Well within the hold, which ends by itself after about 50 ms.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(BASS_ChannelSetAttributes(music, -1, 50, -1));
        EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; }));
        BASS_Free();
        return ReadWav(dir_.File(name));
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
    Wav full = RenderThroughLibrary(mod_, dir_.File("full.wav"));
    double left = full.Rms(0), right = full.Rms(1);
    ASSERT_GT(left, 0.05);
    ASSERT_GT(right, 0.05);
    struct Case {
        int volume, pan;
        double leftShare, rightShare;
    } cases[] = {
        {50, -1, 0.5, 0.5},   {0, -1, 0.0, 0.0},  {100, 100, 0.0, 1.0}, {100, -100, 1.0, 0.0},
        {100, -50, 1.0, 0.5}, {80, 25, 0.6, 0.8}, {150, 400, 0.0, 1.0}, // clamped to 100 and 100
        {-7, -400, 0.0, 0.0},                                           // clamped to 0 and -100
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume << " pan " << c.pan);
        PlayOptions options;
        options.volume = c.volume;
        options.pan = c.pan;
        Wav wav = RenderThroughLibrary(mod_, dir_.File("level.wav"), options);
        EXPECT_NEAR(c.leftShare, wav.Rms(0) / left, 0.01);
        EXPECT_NEAR(c.rightShare, wav.Rms(1) / right, 0.01);
    }

    // A mono music is one signal panned across both sides.
    PlayOptions mono;
    mono.modflags = BASS_MUSIC_RAMPS | BASS_MUSIC_MONO;
    Wav centre = RenderThroughLibrary(mod_, dir_.File("mono.wav"), mono);
    mono.pan = 60;
    Wav panned = RenderThroughLibrary(mod_, dir_.File("panned.wav"), mono);
    ASSERT_GT(centre.Rms(0), 0.05);
    EXPECT_NEAR(0.4, panned.Rms(0) / centre.Rms(0), 0.01);
    EXPECT_NEAR(1.0, panned.Rms(1) / centre.Rms(1), 0.01);
}

TEST_F(WavOutput, RampingFlagsShapeTheAttack)
{
    auto left = [&](DWORD modflags) {
        PlayOptions options;
        options.modflags = modflags;
        return RenderThroughLibrary(mod_, dir_.File("ramp.wav"), options);
    };
    // The square wave's level without ramping, a little into its first half-wave.
    const float settled = std::fabs(left(0).samples.at(2 * 60));
    ASSERT_GT(settled, 0.05f);
    auto attack = [&](DWORD modflags, size_t frame) {
        return std::fabs(left(modflags).samples.at(2 * frame)) / settled;
    };
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
        return RenderThroughLibrary(module, dir_.File("replay.wav"), options).data;
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
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, dir_.File("loop.wav").c_str()));
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
    Wav wav = ReadWav(dir_.File("loop.wav"));
    ASSERT_GT(wav.Frames(), 3 * song);
    EXPECT_NEAR(wav.Rms(0, 0, song), wav.Rms(0, 2 * song, 3 * song), 0.01) << "the third pass sounds as the first";
}

TEST_F(WavOutput, PlayExStartsAgainFromTheBeginning)
{
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, dir_.File("twice.wav").c_str()));
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS);
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; }));
        EXPECT_EQ(kShortOrders - 1, BASS_ChannelGetPosition(music) & 0xFFFF) << "ended on the last order";
    }
    BASS_Free();
    Wav wav = ReadWav(dir_.File("twice.wav"));
    size_t half = wav.data.size() / 2;
    ASSERT_GT(half, 0u);
    EXPECT_TRUE(std::equal(wav.data.begin(), wav.data.begin() + half, wav.data.begin() + half))
        << "expected the second playback to repeat the first exactly";
}

TEST_F(WavOutput, WhereItGoes)
{
    const size_t samples = ReferenceRender(mod_, 44100).size();

    // A file is made only for the first frame: an Init with nothing played (as when
    // the load fails) leaves it as it was.
    const std::string named = dir_.File("named.wav");
    SaveFile(named, {'K', 'E', 'E', 'P'});
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, named.c_str()));
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    BASS_Free();
    EXPECT_EQ(4u, ReadFileBytes(named).size()) << "expected the file untouched";

    // A host's descriptor: the WAV starts where it stands, its sizes patched there, and
    // the descriptor stays the host's.
#ifdef _WIN32
    int file = open(dir_.File("host.wav").c_str(), O_WRONLY | O_CREAT | O_BINARY, 0600);
#else
    int file = open(dir_.File("host.wav").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
#endif
    ASSERT_EQ(4, write(file, "HOST", 4));
    ASSERT_TRUE(TesselBass_SetOutputFile(TESSEL_OUTPUT_WAV, file));
    PlayThroughLibrary(mod_);
    EXPECT_EQ(1, write(file, "!", 1)) << "expected the host's descriptor still open";
    close(file);
    std::vector<uint8_t> bytes = ReadFileBytes(dir_.File("host.wav"));
    EXPECT_EQ(4 + 44 + 2 * samples + 1, bytes.size());
    EXPECT_EQ(2 * samples, Word32(bytes, 4 + 40)) << "expected the data size where the WAV starts";

    // What cannot seek gets a streamed WAV, its sizes saying "to the end", and no
    // failure for the seek it never makes: a host's pipe, here as the library opens a
    // FIFO by its name, never blocking.
    int ends[2];
    ASSERT_TRUE(MakePipe(ends));
#ifndef _WIN32
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
#endif
    ASSERT_TRUE(TesselBass_SetOutputFile(TESSEL_OUTPUT_WAV, ends[1]));
    std::thread reader([&] {
        char block[4096];
        bytes.clear();
        for (int got; (got = int(read(ends[0], block, sizeof block))) > 0;)
            bytes.insert(bytes.end(), block, block + got);
    });
    PlayThroughLibrary(mod_);
    EXPECT_EQ(0, TesselBass_GetOutputError(nullptr, 0));
    close(ends[1]);
    reader.join();
    close(ends[0]);
    EXPECT_EQ(44 + 2 * samples, bytes.size());
    EXPECT_EQ(0x7FFFF000u, Word32(bytes, 40));
    EXPECT_EQ(0x7FFFF024u, Word32(bytes, 4));
#ifndef _WIN32
    // A FIFO nobody reads fails the Init at once, with the reason.
    std::string fifo = dir_.File("out.fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, fifo.c_str()));
    auto init = std::async(std::launch::async, [] { return BASS_Init(-1, 44100, 0, nullptr); });
    if (init.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "expected BASS_Init on a FIFO without a reader to return";
        close(open(fifo.c_str(), O_RDONLY | O_NONBLOCK)); // lets a blocked open go on, so the test ends
    }
    EXPECT_FALSE(init.get());
    char reason[256] = "";
    EXPECT_TRUE(TesselBass_GetOutputError(reason, sizeof reason));
    EXPECT_NE(std::string::npos, std::string(reason).find("FIFO")) << reason;
    BASS_Free();
#endif

    // A reader that stops reading holds up neither the render thread nor BASS_Free.
    ASSERT_TRUE(MakePipe(ends));
    ASSERT_TRUE(TesselBass_SetOutputFile(TESSEL_OUTPUT_WAV, ends[1]));
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS | BASS_MUSIC_LOOP);
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    TesselBassStats stats{};
    EXPECT_TRUE(WaitFor(
        [&] { return BASS_ChannelIsActive(music) && TesselBass_GetStats(&stats) && stats.framesWritten >= 16384; }));
    auto freed = std::async(std::launch::async, [] { BASS_Free(); });
    EXPECT_EQ(std::future_status::ready, freed.wait_for(std::chrono::seconds(5))) << "expected BASS_Free to return";
    close(ends[0]); // lets a stuck write fail, so the test ends
    freed.get();
    close(ends[1]);
}

// Pulls until nothing more comes; the frames pulled.
uint64_t PullAll(int *end)
{
    uint64_t total = 0;
    while (uint32_t got = TesselBass_Pull(4096, end))
        total += got;
    return total;
}

#ifndef _WIN32
TEST_F(WavOutput, AFailureLeavesAWholeFileAndComesWithTheEnd)
{
    // The file-size limit cuts the song (132,344 bytes as a WAV) short in the last
    // flush, after the song's last write: the failure is known as the music ends, the
    // header says what reached the file, and the offline output's pulls count just that.
    const std::string path = dir_.File("cut.wav");
    constexpr rlim_t kLimit = 131500;
    struct rlimit saved {};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    const struct rlimit limit = {kLimit, saved.rlim_max};
    // This process must survive a library that lets the signal through.
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    for (int kind : {TESSEL_OUTPUT_WAV, TESSEL_OUTPUT_OFFLINE}) {
        SCOPED_TRACE(kind == TESSEL_OUTPUT_WAV ? "WAV" : "offline");
        ASSERT_TRUE(TesselBass_SetOutput(kind, path.c_str()));
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
        HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS);
        ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        int end = TESSEL_END_NONE;
        uint64_t pulled = kind == TESSEL_OUTPUT_OFFLINE ? PullAll(&end) : 0;
        EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; }));
        EXPECT_EQ(1, TesselBass_GetOutputError(nullptr, 0)) << "expected the failure known as the music ends";
        BASS_Free();
        setrlimit(RLIMIT_FSIZE, &saved);
        Wav wav = ReadWav(path);
        EXPECT_EQ(kLimit - 44, wav.declaredBytes) << "expected the header to give what reached the file";
        if (kind == TESSEL_OUTPUT_OFFLINE) {
            EXPECT_EQ(TESSEL_END_ERROR, end);
            EXPECT_EQ(wav.Frames(), pulled) << "expected the pulls to count the frames in the file";
        }
    }
    signal(SIGXFSZ, previous);
}
#endif

#ifndef _WIN32
// As a host's handler of SIGINT or SIGTERM calls it.
void CancelOnSignal(int)
{
    TesselBass_Cancel();
}

TEST_F(WavOutput, AReaderThatStopsReadingHoldsNoPullUp)
{
    // The offline output to a pipe nobody reads: the render waits for room, a pull for
    // the render. Each way out ends the pull at once.
    struct sigaction cancelling {};
    cancelling.sa_handler = CancelOnSignal;
    struct sigaction saved {};
    ASSERT_EQ(0, sigaction(SIGUSR1, &cancelling, &saved));
    for (const char *way : {"pause", "stop", "music free", "cancel"}) {
        SCOPED_TRACE(way);
        const std::string how = way;
        int ends[2];
        ASSERT_TRUE(MakePipe(ends));
        ASSERT_TRUE(TesselBass_SetOutputFile(TESSEL_OUTPUT_OFFLINE, ends[1]));
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
        HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS | BASS_MUSIC_LOOP);
        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        int end = TESSEL_END_NONE;
        auto pull = std::async(std::launch::async, [&] { return TesselBass_Pull(1000000, &end); });
        // The pipe holds 16,384 frames, the output's buffer as many again.
        TesselBassStats stats{};
        EXPECT_TRUE(WaitFor([&] { return TesselBass_GetStats(&stats) && stats.framesWritten >= 16384; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (how == "pause")
            BASS_Pause();
        else if (how == "stop")
            BASS_Stop();
        else if (how == "music free")
            BASS_MusicFree(music);
        else
            raise(SIGUSR1);
        EXPECT_EQ(std::future_status::ready, pull.wait_for(std::chrono::seconds(2))) << "expected the pull to return";
        if (how == "cancel") {
            EXPECT_EQ(TESSEL_END_CANCEL, end);
            EXPECT_EQ(0u, BASS_ChannelIsActive(music)) << "expected the music over";
            EXPECT_EQ(0u, TesselBass_Pull(4096, &end));
            EXPECT_EQ(TESSEL_END_CANCEL, end);
            EXPECT_EQ(0, TesselBass_GetOutputError(nullptr, 0)) << "expected a cancel to be no failure";
        }
        auto freed = std::async(std::launch::async, [] { BASS_Free(); });
        EXPECT_EQ(std::future_status::ready, freed.wait_for(std::chrono::seconds(5))) << "expected BASS_Free to return";
        close(ends[0]); // lets a stuck write fail, so the test ends
        freed.get();
        pull.get();
        close(ends[1]);
    }

    // A cancel of a render to a file leaves it whole, its header counting what it holds.
    const std::string path = dir_.File("cancelled.wav");
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_OFFLINE, path.c_str()));
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS | BASS_MUSIC_LOOP);
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    int end = TESSEL_END_NONE;
    EXPECT_EQ(4096u, TesselBass_Pull(4096, &end));
    raise(SIGUSR1);
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; }));
    EXPECT_EQ(0u, TesselBass_Pull(4096, &end));
    EXPECT_EQ(TESSEL_END_CANCEL, end);
    BASS_Free();
    Wav wav = ReadWav(path);
    EXPECT_EQ(4096u, wav.Frames());
    EXPECT_EQ(wav.data.size(), wav.declaredBytes);
    sigaction(SIGUSR1, &saved, nullptr);
}
#endif

TEST_F(WavOutput, OfflineGivesWhatIsPulled)
{
    const std::string path = dir_.File("pulled.wav");
    const uint64_t song = ReferenceRender(mod_, 44100).size() / 2;
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_OFFLINE, path.c_str()));
    TesselBass_SetOfflineLimit(0, 1);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS);
    int end = TESSEL_END_NONE;
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    EXPECT_EQ(song, PullAll(&end));
    EXPECT_EQ(TESSEL_END_MUSIC, end);
    // A second play after the same Init: a pause takes effect without a pull, with
    // what was pulled in the file, and the rest comes after the resume.
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    EXPECT_EQ(4096u, TesselBass_Pull(4096, &end));
    ASSERT_TRUE(BASS_Pause());
    EXPECT_EQ(0u, TesselBass_Pull(4096, &end)) << "nothing while paused";
    EXPECT_EQ((song + 4096) * 4, Word32(ReadFileBytes(path), 40));
    ASSERT_TRUE(BASS_Start());
    EXPECT_EQ(song - 4096, PullAll(&end));

    // At half speed one pass of a looping song lasts twice as long, and the time
    // heard is the song's.
    BASS_MusicFree(music);
    music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS | BASS_MUSIC_LOOP);
    ASSERT_TRUE(BASS_ChannelSetAttributes(music, 22050, -1, -1));
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    const uint32_t pass = uint32_t(SongFrames(kShortOrders, 16, 1, 250, 44100));
    EXPECT_EQ(pass, TesselBass_Pull(pass, &end));
    TesselBassPlaying playing{};
    ASSERT_TRUE(TesselBass_GetPlaying(&playing));
    EXPECT_NEAR(320.0, playing.positionMs, 15.0) << "expected half of the song after its length in output time";
    EXPECT_NEAR(double(pass), double(PullAll(&end)), 2.0) << "expected the pass at half speed";
    EXPECT_EQ(TESSEL_END_PASS, end);

    // Without the one-pass cap, a looping song's time is that of the pass it is in.
    BASS_Free();
    TesselBass_SetOfflineLimit(0, 0);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS | BASS_MUSIC_LOOP);
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    EXPECT_EQ(pass * 3 / 2, TesselBass_Pull(pass * 3 / 2, &end));
    ASSERT_TRUE(TesselBass_GetPlaying(&playing));
    EXPECT_NEAR(320.0, playing.positionMs, 15.0) << "expected half way into the second pass";

    // A pull that BASS_Free ends counts the frames its last flush put in the file.
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
        music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS | BASS_MUSIC_LOOP);
        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        auto pull = std::async(std::launch::async, [] { return TesselBass_Pull(100000000, nullptr); });
        TesselBassStats stats{};
        EXPECT_TRUE(WaitFor([&] { return TesselBass_GetStats(&stats) && stats.framesWritten >= 40000; }));
        BASS_Free();
        EXPECT_EQ(ReadWav(path).Frames(), pull.get()) << "round " << round;
    }
    TesselBass_SetOfflineLimit(0, 1);
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
    Wav normal = RenderThroughLibrary(mod_, dir_.File("normal.wav"));
    PlayOptions fast;
    fast.channelFreq = 88200;
    Wav doubled = RenderThroughLibrary(mod_, dir_.File("fast.wav"), fast);
    EXPECT_NEAR(2.0, double(pitch(doubled)) / pitch(normal), 0.1);
    uint64_t song = SongFrames(kShortOrders, 16, 1, 250, 44100);
    EXPECT_GE(doubled.Frames(), song / 2);
    EXPECT_LT(doubled.Frames(), song * 2 / 3) << "expected the song in half the time";

    // The time after a seek is song time at any speed: order 2 starts 320 ms in.
    const std::string path = dir_.File("speed.wav");
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_OFFLINE, path.c_str()));
    for (int freq : {88200, 22050}) {
        SCOPED_TRACE(freq);
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
        HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS);
        ASSERT_TRUE(BASS_ChannelSetAttributes(music, freq, -1, -1));
        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        EXPECT_EQ(441u, TesselBass_Pull(441, nullptr));
        ASSERT_TRUE(BASS_ChannelSetPosition(music, 2));
        EXPECT_EQ(882u, TesselBass_Pull(882, nullptr)); // 20 ms of output time
        TesselBassPlaying playing{};
        ASSERT_TRUE(TesselBass_GetPlaying(&playing));
        EXPECT_NEAR(320.0 + 20.0 * freq / 44100, playing.positionMs, 5.0);
        BASS_Free();
    }

    // Above the fastest libopenmpt plays (4x), the sound and the clock both keep to
    // it: one pass of a looping song at 20,000 Hz and a frequency of 100,000.
    ASSERT_TRUE(BASS_Init(-1, 20000, 0, nullptr));
    HMUSIC music = BASS_MusicLoad(TRUE, mod_.data(), 0, DWORD(mod_.size()), BASS_MUSIC_RAMPS | BASS_MUSIC_LOOP);
    ASSERT_TRUE(BASS_ChannelSetAttributes(music, 100000, -1, -1));
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    int end = TESSEL_END_NONE;
    EXPECT_NEAR(SongFrames(kShortOrders, 16, 1, 250, 20000) / 4.0, double(PullAll(&end)), 2.0);
    EXPECT_EQ(TESSEL_END_PASS, end);
}

} // namespace
