// Length and position in order positions × 1000 ms, seeking by order, and the titles
// and lengths the host's playlist asks for.
#include "tests/conformance/playback_fixture.h"

#include <cstring>
#include <string>

namespace {

using FileInfoTest = PlaybackTest;

TEST_F(FileInfoTest, LengthAndPositionCountOrdersAsSeconds)
{
    BassDouble_SetLoadResult(0x4242);
    std::string file = ModFile();
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));

    BassDouble_SetLength(12);
    EXPECT_EQ(12000, Plugin()->GetLength());
    EXPECT_EQ(0x4242, LastBassCall("BASS_MusicGetLength").args[0]);
    BassDouble_SetLength(0);
    EXPECT_EQ(0, Plugin()->GetLength());

    struct {
        DWORD word;
        int ms;
    } const positions[] = {{0x00050003, 3000}, {0, 0}, {0x0000FFFF, 65535000}, {0xFFFF0000, 0}, {0x12340001, 1000}};
    for (const auto &position : positions) {
        BassDouble_SetPosition(position.word);
        EXPECT_EQ(position.ms, Plugin()->GetOutputTime()) << "position word 0x" << std::hex << position.word;
        EXPECT_EQ(0x4242, LastBassCall("BASS_ChannelGetPosition").args[0]);
    }
}

TEST_F(FileInfoTest, SeekingMovesToTheOrderOfTheWholeSeconds)
{
    BassDouble_SetLoadResult(0x4242);
    std::string file = ModFile();
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    struct {
        int ms;
        long long word;
    } const seeks[] = {{0, 0x10000},        {999, 0x10000},      {1000, 0x10001},
                       {1999, 0x10001},     {65536000, 0x10000}, // the order wraps at 16 bits
                       {65535999, 0x1FFFF}, {-1000, 0x1FFFF}};
    for (const auto &seek : seeks) {
        Plugin()->SetOutputTime(seek.ms);
        BassCall call = LastBassCall("BASS_ChannelSetPosition");
        EXPECT_EQ(0x4242, call.args[0]);
        EXPECT_EQ(seek.word, call.args[1]) << seek.ms << " ms";
    }
}

TEST_F(FileInfoTest, QueriesAfterStopStillNameTheLastMusic)
{
    BassDouble_SetLoadResult(0x4242);
    std::string file = ModFile();
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    Plugin()->Stop();
    Plugin()->GetLength();
    Plugin()->GetOutputTime();
    Plugin()->SetOutputTime(2000);
    EXPECT_EQ(0x4242, LastBassCall("BASS_MusicGetLength").args[0]);
    EXPECT_EQ(0x4242, LastBassCall("BASS_ChannelGetPosition").args[0]);
    EXPECT_EQ(0x4242, LastBassCall("BASS_ChannelSetPosition").args[0]);

    // A load that failed leaves the handle 0 for them.
    BassDouble_SetLoadResult(0);
    EXPECT_EQ(1, Plugin()->Play(file.c_str()));
    Plugin()->GetLength();
    EXPECT_EQ(0, LastBassCall("BASS_MusicGetLength").args[0]);
}

TEST_F(FileInfoTest, PlayingModuleGivesItsTitleAndLength)
{
    std::string file = ModFile("tune.mod");
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    BassDouble_SetLength(7);

    for (const char *name : {"", static_cast<const char *>(nullptr)}) {
        char title[512] = "untouched";
        int length = 1;
        Plugin()->GetFileInfo(name, title, &length);
        EXPECT_STREQ("Double Tune", title);
        EXPECT_EQ(7000, length);
    }

    char title[512] = "untouched";
    Plugin()->GetFileInfo("", title, nullptr);
    EXPECT_STREQ("Double Tune", title) << "the title without a length address";

    int length = 1;
    BassDouble_Reset();
    BassDouble_SetLength(3);
    Plugin()->GetFileInfo(nullptr, nullptr, &length);
    EXPECT_EQ(3000, length) << "the length without a title buffer";
    EXPECT_EQ(0, BassDouble_CountOf("BASS_MusicGetName")) << "no title is built without a buffer";

    BassDouble_SetName(nullptr, FALSE);
    Plugin()->GetFileInfo("", title, &length);
    EXPECT_STREQ("[tune.mod]", title);

    Plugin()->GetFileInfo(nullptr, nullptr, nullptr); // nothing to write, nothing breaks
}

TEST_F(FileInfoTest, OtherFilesAreTitledByNameAndNeverRead)
{
    std::string existing = ModFile("a.it");
    std::string missing = folder.File("b.xm");
    BassDouble_Reset();
    SetInfoCalls().clear();

    struct {
        std::string name, title;
        int length;
    } const cases[] = {
        {existing, "a.it", 0},
        {missing, "b.xm", -1000},
        {"C:\\mods\\a.it", "a.it", -1000},
        {"C:\\mods\\", "", -1000},
        {"a.it", "a.it", -1000}, // a bare name, looked for in the working folder
        // A folder opens as no file.
        {folder.Path(), folder.Path().substr(folder.Path().rfind(PathSeparator()) + 1), -1000},
    };
    for (const auto &c : cases) {
        char title[512];
        memset(title, '#', sizeof title);
        int length = 12345;
        Plugin()->GetFileInfo(c.name.c_str(), title, &length);
        EXPECT_EQ(c.length, length) << c.name;
        EXPECT_STREQ(c.title.c_str(), title) << c.name;
    }

    char title[512] = "untouched";
    Plugin()->GetFileInfo(existing.c_str(), title, nullptr);
    EXPECT_STREQ("a.it", title) << "the title without a length address";
    int length = 12345;
    Plugin()->GetFileInfo(missing.c_str(), nullptr, &length);
    EXPECT_EQ(-1000, length) << "the length without a title buffer";

    EXPECT_EQ(0, BassDouble_CallCount()) << "another file never reaches the library";
    EXPECT_TRUE(SetInfoCalls().empty());
    EXPECT_TRUE(recorder.Boxes().empty()) << Describe(recorder.Boxes());
}

TEST_F(FileInfoTest, OverlongFileNamePartIsCutToTheTitleBuffer)
{
    const size_t titleBuffer = 260;
    std::string name = "C:\\mods\\" + std::string(600, 'z') + ".mod";
    char title[1024];
    memset(title, '#', sizeof title);
    int length = 0;
    Plugin()->GetFileInfo(name.c_str(), title, &length);
    EXPECT_EQ(titleBuffer - 1, strnlen(title, sizeof title));
    EXPECT_EQ('#', title[titleBuffer]) << "written past the title buffer";
    EXPECT_EQ(std::string(titleBuffer - 1, 'z'), std::string(title));
    EXPECT_EQ(-1000, length);
}

} // namespace
