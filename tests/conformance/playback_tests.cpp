// Play, pause, volume, pan and stop, the monitor thread's end-of-music message and
// the title of the playing module, seen by a host with a real window.
#include "tests/conformance/playback_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string PlayingTitle()
{
    char title[1024] = "";
    Plugin()->GetFileInfo("", title, nullptr);
    return title;
}

TEST_F(PlaybackTest, PlayTellsTheHostThenOpensLoadsAndStartsTheModule)
{
    std::string file = ModFile();
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    EXPECT_TRUE(recorder.Boxes().empty()) << Describe(recorder.Boxes());

    ASSERT_EQ(1u, SetInfoCalls().size());
    const SetInfoCall &info = SetInfoCalls()[0];
    EXPECT_EQ(8, info.bitrate) << "the channel count stands in the bit rate";
    EXPECT_EQ(44, info.rateKhz);
    EXPECT_EQ(2, info.channels);
    EXPECT_EQ(1, info.synched);
    EXPECT_EQ(0, info.libraryCallsBefore) << "SetInfo comes before the library is opened";

    std::vector<std::string> expected = {"BASS_Init",        "BASS_Start",        "BASS_MusicLoad",
                                         "BASS_MusicPlayEx", "BASS_MusicGetName", "BASS_ChannelSetAttributes"};
    EXPECT_EQ(expected, BassCallNames());

    BassCall init = LastBassCall("BASS_Init");
    EXPECT_EQ(-1, init.args[0]);
    EXPECT_EQ(44100, init.args[1]);
    EXPECT_EQ(0, init.args[2]);
    EXPECT_EQ(reinterpret_cast<intptr_t>(host.Handle()), init.args[3]) << "the host's window goes to the library";

    BassCall load = LastBassCall("BASS_MusicLoad");
    EXPECT_EQ(0, load.args[0]) << "loaded from a file, not memory";
    EXPECT_EQ(file, load.text);
    EXPECT_EQ(0, load.args[2]);
    EXPECT_EQ(0, load.args[3]);
    EXPECT_EQ(2, load.args[4]) << "modflags";

    BassCall play = LastBassCall("BASS_MusicPlayEx");
    EXPECT_EQ(kDoubleMusic, play.args[0]);
    EXPECT_EQ(0, play.args[1]);
    EXPECT_EQ(0x100, play.args[2]);
    EXPECT_EQ(1, play.args[3]);

    EXPECT_EQ("Double Tune", PlayingTitle());
    EXPECT_EQ(0, Plugin()->IsPaused());
    // The monitor thread polls the music that was loaded.
    for (int tries = 0; tries < 300 && ActivityPolls() == 0; ++tries)
        Sleep(10);
    BassCall poll = LastBassCall("BASS_ChannelIsActive");
    EXPECT_EQ("BASS_ChannelIsActive", poll.name) << "the monitor thread never polled";
    EXPECT_EQ(kDoubleMusic, poll.args[0]);
}

TEST_F(PlaybackTest, ChangedSettingsReachTheHostAndTheLibrary)
{
    struct Case {
        LONG device;
        DWORD freq, devflags, modflags;
        int rateKhz, outputChannels;
    } const cases[] = {
        {2, 22050, 1, 0x44, 22, 1}, // mono bit set
        {0, 48000, 0, 0x15, 48, 2},
        {-1, 8000, 0, 0x40, 8, 1},
        {1, 999, 0, 0xBF, 0, 2}, // every bit but mono; the rate's fraction is dropped
    };
    std::string file = ModFile("six.mod", "6CHN");
    for (const Case &c : cases) {
        LoadPluginSettings(c.device, c.freq, c.devflags, c.modflags);
        BassDouble_Reset();
        SetInfoCalls().clear();
        ASSERT_EQ(0, Plugin()->Play(file.c_str())) << "freq " << c.freq;
        ASSERT_EQ(1u, SetInfoCalls().size());
        EXPECT_EQ(6, SetInfoCalls()[0].bitrate);
        EXPECT_EQ(c.rateKhz, SetInfoCalls()[0].rateKhz) << "freq " << c.freq;
        EXPECT_EQ(c.outputChannels, SetInfoCalls()[0].channels) << "modflags " << c.modflags;
        BassCall init = LastBassCall("BASS_Init");
        EXPECT_EQ(c.device, init.args[0]);
        EXPECT_EQ(c.freq, init.args[1]);
        EXPECT_EQ(c.devflags, init.args[2]);
        EXPECT_EQ(c.modflags, LastBassCall("BASS_MusicLoad").args[4]);
        Plugin()->Stop();
    }
}

TEST_F(PlaybackTest, VolumeIsScaledToTheLibraryAndPanPassesUnchanged)
{
    std::string file = ModFile();
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    EXPECT_EQ(39, LastBassCall("BASS_ChannelSetAttributes").args[2]) << "the remembered 100 is applied again";

    struct {
        int host, library;
    } const volumes[] = {{255, 99}, {128, 50}, {100, 39}, {3, 1}, {2, 0}, {0, 0}, {256, 100}};
    for (const auto &volume : volumes) {
        Plugin()->SetVolume(volume.host);
        BassCall call = LastBassCall("BASS_ChannelSetAttributes");
        EXPECT_EQ(kDoubleMusic, call.args[0]);
        EXPECT_EQ(-1, call.args[1]) << "frequency stays";
        EXPECT_EQ(volume.library, call.args[2]) << "host volume " << volume.host;
        EXPECT_EQ(-1, call.args[3]) << "pan stays";
    }

    for (int pan : {-128, 0, 127, 100000, -1}) {
        Plugin()->SetPan(pan);
        BassCall call = LastBassCall("BASS_ChannelSetAttributes");
        EXPECT_EQ(kDoubleMusic, call.args[0]);
        EXPECT_EQ(-1, call.args[1]);
        EXPECT_EQ(-1, call.args[2]) << "volume stays";
        EXPECT_EQ(pan, call.args[3]);
    }

    // The volume is remembered for the next module; the pan is not.
    Plugin()->SetVolume(255);
    Plugin()->SetPan(60);
    Plugin()->Stop();
    BassDouble_Reset();
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    ASSERT_EQ(1, BassDouble_CountOf("BASS_ChannelSetAttributes"));
    BassCall reapplied = LastBassCall("BASS_ChannelSetAttributes");
    EXPECT_EQ(99, reapplied.args[2]);
    EXPECT_EQ(-1, reapplied.args[3]);
}

TEST_F(PlaybackTest, FileThatCannotBeOpenedIsReportedAndStillHandedToTheLibrary)
{
    std::string missing = folder.File("gone.xm");
    Plugin()->Pause();
    ASSERT_EQ(0, Plugin()->Play(missing.c_str()));
    ASSERT_EQ(1u, recorder.Boxes().size()) << Describe(recorder.Boxes());
    const RecordedBox &box = recorder.Boxes()[0];
    EXPECT_EQ(host.Handle(), box.owner);
    EXPECT_EQ("Error", box.caption);
    EXPECT_EQ("Cannot open module file", box.text);
    EXPECT_EQ(MB_ICONWARNING, box.icon);
    EXPECT_EQ(MB_OK, box.buttons);
    ASSERT_EQ(1u, SetInfoCalls().size());
    EXPECT_EQ(0, SetInfoCalls()[0].bitrate) << "the scan's channel count";
    EXPECT_EQ(missing, LastBassCall("BASS_MusicLoad").text);
    EXPECT_EQ(0, Plugin()->IsPaused()) << "Play clears the pause flag";
    Plugin()->Stop();

    // A MOD too short for its format tag opens, but its reader rejects it: the same box.
    recorder.Clear();
    ASSERT_EQ(0, Plugin()->Play(folder.Write("short.mod", std::string(1083, 'x')).c_str()));
    ASSERT_EQ(1u, recorder.Boxes().size()) << Describe(recorder.Boxes());
    EXPECT_EQ("Cannot open module file", recorder.Boxes()[0].text);
}

TEST_F(PlaybackTest, FileWithoutAHeaderReaderPlaysWithoutABox)
{
    for (const char *name : {"song.mo3", "song.umx", "noextension"}) {
        std::string file = folder.Write(name, std::string(2048, 'x'));
        recorder.Clear();
        SetInfoCalls().clear();
        ASSERT_EQ(0, Plugin()->Play(file.c_str())) << name;
        EXPECT_TRUE(recorder.Boxes().empty()) << name << ": " << Describe(recorder.Boxes());
        ASSERT_EQ(1u, SetInfoCalls().size());
        EXPECT_EQ(0, SetInfoCalls()[0].bitrate) << name;
        Plugin()->Stop();
    }
}

TEST_F(PlaybackTest, FailuresShowTheirBoxReturnOneAndStartNoThread)
{
    struct Case {
        const char *text;
        const char *lastCall;
        bool musicToFree;
    } const cases[] = {
        {"Can't initialize digital sound system", "BASS_Init", false},
        {"Can't load module", "BASS_MusicLoad", false},
        {"Can't play module", "BASS_MusicPlayEx", true},
    };
    std::string file = ModFile();
    for (int i = 0; i < 3; ++i) {
        const Case &c = cases[i];
        BassDouble_Reset();
        BassDouble_SetActive(0); // a thread, had one started, would post at once
        BassDouble_SetInitResult(i != 0);
        BassDouble_SetLoadResult(i == 1 ? 0 : kDoubleMusic);
        BassDouble_SetPlayResult(i != 2);
        recorder.Clear();
        SetInfoCalls().clear();
        host.Drain();
        host.ClearCounts();

        EXPECT_EQ(1, Plugin()->Play(file.c_str())) << c.text;
        ASSERT_EQ(1u, recorder.Boxes().size()) << c.text << ": " << Describe(recorder.Boxes());
        const RecordedBox &box = recorder.Boxes()[0];
        EXPECT_EQ(nullptr, box.owner) << c.text;
        EXPECT_EQ("Error", box.caption);
        EXPECT_EQ(c.text, box.text);
        EXPECT_EQ(0u, box.icon) << c.text;
        EXPECT_EQ(MB_OK, box.buttons);
        EXPECT_EQ(1u, SetInfoCalls().size()) << "the host was told before the failure";
        std::vector<std::string> names = BassCallNames();
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(c.lastCall, names.back()) << c.text << ": nothing follows the failed call";

        host.Pump(150);
        EXPECT_EQ(0, ActivityPolls()) << c.text << ": no monitor thread";
        EXPECT_EQ(0, host.Count(kModuleEnded)) << c.text;

        // Stop releases what the failed Play left, freeing a music only if one loaded.
        BassDouble_Reset();
        Plugin()->Stop();
        std::vector<std::string> released = {"BASS_Stop", "BASS_Free"};
        if (c.musicToFree)
            released = {"BASS_Stop", "BASS_MusicFree", "BASS_Free"};
        EXPECT_EQ(released, BassCallNames()) << c.text;
    }
}

TEST_F(PlaybackTest, EndedModuleIsAnnouncedOnEveryPassUntilStop)
{
    std::string file = ModFile();
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    host.Pump(150);
    EXPECT_EQ(0, host.Count(kModuleEnded)) << "nothing while the music is active";

    BassDouble_SetActive(0);
    ASSERT_TRUE(host.PumpUntil(kModuleEnded, 1, 5000)) << "no message after the music ended";
    EXPECT_EQ(0u, host.LastWParam(kModuleEnded));
    EXPECT_EQ(0, host.LastLParam(kModuleEnded));

    // About one message per 20 ms pass: bounds wide enough for a loaded machine.
    host.ClearCounts();
    DWORD start = GetTickCount();
    host.Pump(1000);
    DWORD elapsed = GetTickCount() - start;
    int count = host.Count(kModuleEnded);
    EXPECT_GE(count, 5) << "the message repeats while the module waits for Stop";
    EXPECT_LE(static_cast<DWORD>(count), elapsed / 15 + 3) << "at most one message per pass, in " << elapsed << " ms";

    Plugin()->Stop();
    std::vector<BassCall> calls = BassCalls();
    int stopAt = FirstCallIndex(calls, "BASS_Stop");
    ASSERT_GE(stopAt, 0);
    EXPECT_LT(LastCallIndex(calls, "BASS_ChannelIsActive"), stopAt) << "the thread ended before the library stopped";
    std::vector<std::string> names = BassCallNames();
    std::vector<std::string> tail(names.end() - 3, names.end());
    EXPECT_EQ((std::vector<std::string>{"BASS_Stop", "BASS_MusicFree", "BASS_Free"}), tail);
    EXPECT_EQ(kDoubleMusic, LastBassCall("BASS_MusicFree").args[0]);

    host.Drain(); // what was posted before Stop returned
    host.ClearCounts();
    host.Pump(200);
    EXPECT_EQ(0, host.Count(kModuleEnded)) << "no message after Stop";
}

// A host busy for 100 ms after the first end message calls Stop late, with more of
// them queued by then; none of those may end the file it plays next.
TEST_F(PlaybackTest, LateStopLeavesNoEndMessageForTheNextFile)
{
    std::string first = ModFile("first.mod");
    std::string second = ModFile("second.mod");
    ASSERT_EQ(0, Plugin()->Play(first.c_str()));
    BassDouble_SetActive(0);
    ASSERT_TRUE(host.PumpUntil(kModuleEnded, 1, 5000)) << "no message after the music ended";
    Sleep(100);
    Plugin()->Stop();

    BassDouble_SetActive(1);
    ASSERT_EQ(0, Plugin()->Play(second.c_str()));
    host.ClearCounts();
    host.Pump(300);
    EXPECT_EQ(0, host.Count(kModuleEnded)) << "the first file's end messages ended the second, still playing";
    BassDouble_SetActive(0);
    EXPECT_TRUE(host.PumpUntil(kModuleEnded, 1, 5000)) << "the second file's own end is not announced";
}

TEST_F(PlaybackTest, PausedModulePostsNothingAndUnPauseBringsTheMessage)
{
    std::string file = ModFile();
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    Plugin()->Pause();
    EXPECT_EQ(1, Plugin()->IsPaused());
    EXPECT_EQ("BASS_Pause", BassCallNames().back());

    BassDouble_SetActive(0);
    int pollsBefore = ActivityPolls();
    host.Pump(300);
    EXPECT_EQ(0, host.Count(kModuleEnded)) << "nothing is posted while paused";
    EXPECT_GT(ActivityPolls(), pollsBefore) << "the thread kept polling while paused";

    Plugin()->UnPause();
    EXPECT_EQ(0, Plugin()->IsPaused());
    EXPECT_EQ("BASS_Start", BassCallNames().back());
    EXPECT_TRUE(host.PumpUntil(kModuleEnded, 1, 5000)) << "the message follows UnPause";

    // Pausing again silences it again.
    Plugin()->Pause();
    host.Pump(100);
    host.ClearCounts();
    host.Pump(200);
    EXPECT_EQ(0, host.Count(kModuleEnded));
}

TEST_F(PlaybackTest, MessageGoesToTheWindowTheHostNamesNow)
{
    std::string file = ModFile();
    BassDouble_SetActive(0);
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    ASSERT_TRUE(host.PumpUntil(kModuleEnded, 1, 5000));

    HostWindow other;
    // Written whole, as a host that moves its main window does.
    __atomic_store_n(&Plugin()->hMainWindow, other.Handle(), __ATOMIC_RELAXED);
    host.Pump(300); // a pass that read the old window may still post to it
    host.ClearCounts();
    other.ClearCounts();
    host.Pump(300);
    EXPECT_EQ(0, host.Count(kModuleEnded)) << "the old window keeps getting the message";
    EXPECT_GE(other.Count(kModuleEnded), 1) << "the new window gets no message";
    Plugin()->Stop();
    __atomic_store_n(&Plugin()->hMainWindow, host.Handle(), __ATOMIC_RELAXED);
}

TEST_F(PlaybackTest, StopRightAfterPlayAndStopTwice)
{
    std::string file = ModFile();
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    Plugin()->Stop();
    std::vector<std::string> names = BassCallNames();
    std::vector<std::string> tail(names.end() - 3, names.end());
    EXPECT_EQ((std::vector<std::string>{"BASS_Stop", "BASS_MusicFree", "BASS_Free"}), tail);
    int polls = ActivityPolls();
    Sleep(120);
    EXPECT_EQ(polls, ActivityPolls()) << "a monitor thread still runs after Stop";

    // A second Stop has no thread to end and no music to free.
    BassDouble_Reset();
    Plugin()->Stop();
    EXPECT_EQ((std::vector<std::string>{"BASS_Stop", "BASS_Free"}), BassCallNames());
}

TEST_F(PlaybackTest, PlayWithoutStopLeavesNoThreadBehind)
{
    std::string file = ModFile();
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    // One thread polls once per 20 ms pass; a second one left running doubles that.
    int pollsBefore = ActivityPolls();
    DWORD start = GetTickCount();
    Sleep(600);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_LE(static_cast<DWORD>(ActivityPolls() - pollsBefore), elapsed / 15 + 3)
        << "more than one monitor thread polls, in " << elapsed << " ms";
    BassDouble_SetActive(0);
    ASSERT_TRUE(host.PumpUntil(kModuleEnded, 1, 5000));
    Plugin()->Stop();
    int polls = ActivityPolls();
    host.Drain();
    host.ClearCounts();
    host.Pump(150);
    EXPECT_EQ(polls, ActivityPolls()) << "the first Play's thread still polls";
    EXPECT_EQ(0, host.Count(kModuleEnded));
}

TEST_F(PlaybackTest, UnnamedModuleIsTitledByItsFileName)
{
    BassDouble_SetName(nullptr, FALSE);
    std::string file = ModFile("tune.mod");
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    EXPECT_EQ("[tune.mod]", PlayingTitle());
    Plugin()->Stop();

    struct {
        std::string path, title;
    } const cases[] = {
        {"C:\\mods\\tune.mod", "[tune.mod]"},
        {"tune.mod", "[tune.mod]"},
        {"C:\\mods\\", "[]"},
        {"C:\\dir.old\\song", "[song]"},
        // A directory part of any length leaves the title whole.
        {"C:\\" + std::string(400, 'd') + "\\deep.it", "[deep.it]"},
    };
    BassDouble_SetName("", TRUE); // an empty name counts as none
    for (const auto &c : cases) {
        ASSERT_EQ(0, Plugin()->Play(c.path.c_str())) << c.path;
        EXPECT_EQ(c.title, PlayingTitle()) << c.path;
        Plugin()->Stop();
    }

    // '/' separates where it is the platform's own separator.
    ASSERT_EQ(0, Plugin()->Play("mods/x/tune.mod"));
    EXPECT_EQ(PathSeparator() == '/' ? "[tune.mod]" : "[mods/x/tune.mod]", PlayingTitle());
}

TEST_F(PlaybackTest, NamedModuleIsTitledByItsNameWhateverTheFile)
{
    BassDouble_SetName("Deep Space", TRUE);
    std::string file = ModFile("other.mod");
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    EXPECT_EQ("Deep Space", PlayingTitle());
}

TEST_F(PlaybackTest, OverlongNamesAreCutToFitTheTitle)
{
    const size_t titleBuffer = 260;
    // The library's own name, and a bare file name, each longer than a title holds.
    std::string longName(400, 'n');
    BassDouble_SetName(longName.c_str(), TRUE);
    std::string bare = std::string(300, 'f') + ".mod";
    for (int unnamed = 0; unnamed < 2; ++unnamed) {
        if (unnamed)
            BassDouble_SetName(nullptr, FALSE);
        ASSERT_EQ(0, Plugin()->Play(bare.c_str()));
        char title[1024];
        memset(title, '#', sizeof title);
        Plugin()->GetFileInfo(nullptr, title, nullptr);
        size_t length = strnlen(title, sizeof title);
        EXPECT_EQ(titleBuffer - 1, length) << "title cut to the buffer";
        EXPECT_EQ('#', title[titleBuffer]) << "written past the title buffer";
        if (unnamed) {
            EXPECT_EQ('[', title[0]);
            EXPECT_EQ(']', title[length - 1]) << "the bracket closes a cut name";
        } else {
            EXPECT_EQ(longName.substr(0, titleBuffer - 1), std::string(title));
        }
        Plugin()->Stop();
    }
}

#ifndef _WIN32
// Natively a real path may be longer than 259 characters: it still plays and titles.
TEST_F(PlaybackTest, RealPathLongerThanAPathBufferPlaysAndTitles)
{
    std::string directory = folder.Path();
    std::vector<std::string> made;
    while (directory.size() < 300) {
        directory += "/" + std::string(60, 'p');
        ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr)) << directory;
        made.push_back(directory);
    }
    std::string file = directory + "/long.mod";
    std::vector<BYTE> bytes = ModWithTag("8CHN");
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(handle);

    BassDouble_SetName(nullptr, FALSE);
    EXPECT_EQ(0, Plugin()->Play(file.c_str()));
    EXPECT_TRUE(recorder.Boxes().empty()) << Describe(recorder.Boxes());
    ASSERT_EQ(1u, SetInfoCalls().size());
    EXPECT_EQ(8, SetInfoCalls()[0].bitrate) << "the scan read the file";
    EXPECT_EQ(file, LastBassCall("BASS_MusicLoad").text) << "the library gets the whole path";
    EXPECT_EQ("[long.mod]", PlayingTitle());

    DeleteFileA(file.c_str());
    for (auto dir = made.rbegin(); dir != made.rend(); ++dir)
        RemoveDirectoryA(dir->c_str());
}
#endif

// Runs in the fresh process of the first-start tests: no SetVolume has come yet.
class FirstStartPlayback : public PlaybackTest {
protected:
    void SetUp() override
    {
        // The settings stay the built-in defaults: nothing here touches the registry.
        Plugin()->hMainWindow = host.Handle();
        Plugin()->SetInfo = RecordSetInfo;
        BassDouble_Reset();
        SetInfoCalls().clear();
    }
};

TEST_F(FirstStartPlayback, RememberedVolumeBeforeAnySetVolumeIs100)
{
    std::string file = ModFile();
    ASSERT_EQ(0, Plugin()->Play(file.c_str()));
    BassCall volume = LastBassCall("BASS_ChannelSetAttributes");
    EXPECT_EQ(kDoubleMusic, volume.args[0]);
    EXPECT_EQ(39, volume.args[2]) << "100 on the host's scale";
    ASSERT_EQ(1u, SetInfoCalls().size());
    EXPECT_EQ(44, SetInfoCalls()[0].rateKhz) << "built-in default rate";
    EXPECT_EQ(2, SetInfoCalls()[0].channels) << "built-in default is stereo";
}

} // namespace
