// TESSEL_OUTPUT chooses the output for a host that has not chosen one itself. Runs in a
// process of its own: once a host calls TesselBass_SetOutput, its choice wins for good.
#include "sound_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using namespace soundtest;

namespace {

bool PlayToTheEnd(const std::vector<uint8_t> &module)
{
    if (!BASS_Init(-1, 44100, 0, nullptr))
        return false;
    HMUSIC music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), BASS_MUSIC_RAMPS);
    EXPECT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; }));
    BASS_Free();
    return true;
}

TEST(OutputFromEnvironment, ReadAtEveryInitUntilTheHostChooses)
{
    testkit::TempFolder dir;
    std::vector<uint8_t> module = WriteS3m(ShortSong());
#ifdef _WIN32
    std::string wav = dir.File("first.wav"); // a drive letter's colon is in the path already
#else
    std::string wav = dir.File("first:take.wav");
#endif
    ASSERT_NE(std::string::npos, wav.find(':'));
    SetOutputVariable("wav:" + wav);
    ASSERT_TRUE(PlayToTheEnd(module)) << "expected wav:" << wav << " to be opened";
    EXPECT_EQ(ReferenceRender(module, 44100).size(), ReadWav(wav).samples.size()) << "the whole song in " << wav;

    std::filesystem::remove(wav);
    SetOutputVariable("Null");
    ASSERT_TRUE(PlayToTheEnd(module));
    EXPECT_FALSE(std::filesystem::exists(wav)) << "expected the null output, read at the next Init";

    for (std::string bad : {std::string("wav:"), std::string("wave:x.wav"), std::string("speakers"),
                            "wav:" + dir.File("no/such/folder.wav")}) {
        SetOutputVariable(bad);
        EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr)) << "expected TESSEL_OUTPUT=" << bad << " to fail the Init";
    }

    std::string ignored = dir.File("ignored.wav");
    SetOutputVariable("wav:" + ignored);
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_NULL, nullptr));
    ASSERT_TRUE(PlayToTheEnd(module));
    EXPECT_FALSE(std::filesystem::exists(ignored)) << "expected the host's own choice to win";
}

} // namespace
