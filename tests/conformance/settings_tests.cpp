// Init: the library's version check and the settings key it creates or loads.
#include "tests/conformance/playback_fixture.h"
#include "tests/support/bass_calls.h"
#include "tests/support/box_recorder.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

namespace {

const BYTE kDefaultDevice[] = {0xFF, 0xFF, 0xFF, 0xFF};

class InitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BassDouble_Reset();
        DeleteSettingsKey();
    }
    void TearDown() override { DeleteSettingsKey(); }

    // Init, then the settings it left behind as the next Play hands them to the
    // library (BASS_Init and BASS_MusicLoad's flags).
    void RunInit() { Plugin()->Init(); }

    BoxRecorder recorder;
};

using FirstStart = InitTest;

// Runs in a process of its own (see CMakeLists.txt): the defaults are those of a
// freshly loaded plug-in.
TEST_F(FirstStart, MissingKeyIsCreatedWithTheBuiltInDefaults)
{
    RunInit();
    EXPECT_TRUE(recorder.Boxes().empty()) << Describe(recorder.Boxes());
    const char *names[] = {"device", "freq", "devflags", "modflags"};
    const DWORD values[] = {0xFFFFFFFF, 44100, 0, 2};
    for (int i = 0; i < 4; ++i) {
        DWORD type = 0;
        std::vector<BYTE> data;
        ASSERT_TRUE(ReadSettingsValue(names[i], type, data)) << names[i] << " was not written";
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type) << names[i];
        EXPECT_EQ(4u, data.size()) << names[i];
        EXPECT_EQ(values[i], SettingsDword(names[i])) << names[i];
    }
    DWORD type;
    std::vector<BYTE> device;
    ReadSettingsValue("device", type, device);
    EXPECT_EQ(std::vector<BYTE>(kDefaultDevice, kDefaultDevice + 4), device);
}

TEST_F(InitTest, MemoryValuesAreWrittenToAMissingKeyWithoutReadingIt)
{
    LoadPluginSettings(5, 32000, 1, 0x45);
    DeleteSettingsKey();
    RunInit();
    EXPECT_EQ(5u, SettingsDword("device"));
    EXPECT_EQ(32000u, SettingsDword("freq"));
    EXPECT_EQ(1u, SettingsDword("devflags"));
    EXPECT_EQ(0x45u, SettingsDword("modflags"));
}

TEST_F(InitTest, StoredValuesAreLoadedAndAMissingOneIsWrittenFromMemory)
{
    LoadPluginSettings(-1, 44100, 0, 2);
    DeleteSettingsKey();
    DWORD device = 3, devflags = 1, modflags = 0x44;
    WriteSettingsValue("device", REG_DWORD, &device, 4);
    WriteSettingsValue("devflags", REG_DWORD, &devflags, 4);
    WriteSettingsValue("modflags", REG_DWORD, &modflags, 4);
    RunInit();
    EXPECT_EQ(44100u, SettingsDword("freq")) << "freq is written from the default in memory";
    EXPECT_EQ(3u, SettingsDword("device")) << "stored values stay as they were";
    EXPECT_EQ(0x44u, SettingsDword("modflags"));
}

TEST_F(InitTest, ValueLongerThanFourBytesIsReplacedFromMemory)
{
    LoadPluginSettings(-1, 44100, 0, 2);
    DeleteSettingsKey();
    DWORD freq = 22050;
    WriteSettingsValue("freq", REG_DWORD, &freq, 4);
    const char text[] = "handwritten";
    WriteSettingsValue("modflags", REG_SZ, text, sizeof text);
    RunInit();
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadSettingsValue("modflags", type, data));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type) << "the text is overwritten with a REG_DWORD";
    EXPECT_EQ(2u, SettingsDword("modflags"));
    EXPECT_EQ(22050u, SettingsDword("freq"));
}

using InitThenPlay = PlaybackTest;

TEST_F(InitThenPlay, ShortValueOfAnotherTypeReplacesOnlyTheLowBytes)
{
    // freq in memory 88200 (0x00015888); a two-byte binary value 0x5622 replaces its
    // low bytes only, so the next Play opens the library at 0x00015622 = 87586 Hz.
    LoadPluginSettings(-1, 88200, 0, 2);
    DeleteSettingsKey();
    DWORD device = 0xFFFFFFFF, devflags = 0, modflags = 2;
    WriteSettingsValue("device", REG_DWORD, &device, 4);
    WriteSettingsValue("devflags", REG_DWORD, &devflags, 4);
    WriteSettingsValue("modflags", REG_DWORD, &modflags, 4);
    const BYTE low[] = {0x22, 0x56};
    WriteSettingsValue("freq", REG_BINARY, low, sizeof low);
    Plugin()->Init();
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadSettingsValue("freq", type, data));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type) << "a readable value is not rewritten";
    BassDouble_Reset();
    SetInfoCalls().clear();
    ASSERT_EQ(0, Plugin()->Play(ModFile().c_str()));
    EXPECT_EQ(87586, LastBassCall("BASS_Init").args[1]);
    ASSERT_EQ(1u, SetInfoCalls().size());
    EXPECT_EQ(87, SetInfoCalls()[0].rateKhz);
}

TEST_F(InitTest, WrongLibraryVersionShowsTheBoxAndLeavesTheRegistryAlone)
{
    for (DWORD version : {0x70000u, 0x80001u, 0x90000u, 0x20400u}) {
        BassDouble_SetVersion(version);
        recorder.Clear();
        RunInit();
        ASSERT_EQ(1u, recorder.Boxes().size()) << "version " << std::hex << version;
        const RecordedBox &box = recorder.Boxes()[0];
        EXPECT_EQ("Incorrect BASS.DLL", box.caption);
        EXPECT_EQ("BASS version 0.8 was not loaded", box.text);
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_EQ(0u, box.icon);
        EXPECT_EQ(MB_OK, box.buttons);
        HKEY key;
        EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key))
            << "the key was created despite the wrong version";
    }
}

TEST_F(InitTest, AskedTheLibraryForItsVersionFirst)
{
    RunInit();
    auto names = BassCallNames();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ("BASS_GetVersion", names[0]);
}

} // namespace
