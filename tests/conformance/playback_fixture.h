// A host that plays modules: its main window with a message loop, its SetInfo
// callback, known settings and module files in a folder of the test's own.
#pragma once

#include "tests/support/bass_calls.h"
#include "tests/support/box_recorder.h"
#include "tests/support/host_window.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The message the monitor thread posts once the module has ended.
const UINT kModuleEnded = WM_USER + 2;
static_assert(WM_USER + 2 == 1026, "the host listens for 1026");

// The handle the test double gives for a loaded music.
const DWORD kDoubleMusic = 0x7001;

struct SetInfoCall {
    int bitrate;
    int rateKhz;
    int channels;
    int synched;
    int libraryCallsBefore; // sound-library calls made before this one
};

inline std::vector<SetInfoCall> &SetInfoCalls()
{
    static std::vector<SetInfoCall> calls;
    return calls;
}

inline void RecordSetInfo(int bitrate, int rateKhz, int channels, int synched)
{
    SetInfoCalls().push_back({bitrate, rateKhz, channels, synched, BassDouble_CallCount()});
}

// The smallest MOD the header scan reads: the format tag sits at 1080.
inline std::vector<BYTE> ModWithTag(const char *tag)
{
    std::vector<BYTE> bytes(1084, 0);
    for (int i = 0; i < 4; ++i)
        bytes[1080 + i] = static_cast<BYTE>(tag[i]);
    return bytes;
}

// The monitor thread's polls so far.
inline int ActivityPolls()
{
    return BassDouble_CountOf("BASS_ChannelIsActive");
}

// Index of the first call of that name in the log, or -1.
inline int FirstCallIndex(const std::vector<BassCall> &calls, const std::string &name)
{
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].name == name)
            return static_cast<int>(i);
    return -1;
}

inline int LastCallIndex(const std::vector<BassCall> &calls, const std::string &name)
{
    int last = -1;
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].name == name)
            last = static_cast<int>(i);
    return last;
}

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        In_Module *plugin = Plugin();
        plugin->Stop(); // idle, whatever an earlier test left
        LoadPluginSettings(-1, 44100, 0, 2);
        plugin->hMainWindow = host.Handle();
        plugin->SetInfo = RecordSetInfo;
        plugin->SetVolume(100);
        BassDouble_Reset();
        SetInfoCalls().clear();
        recorder.Clear();
    }

    void TearDown() override
    {
        Plugin()->Stop();
        host.Drain();
    }

    // An existing MOD file of 8 channels (or as its tag says).
    std::string ModFile(const std::string &name = "tune.mod", const char *tag = "8CHN")
    {
        return folder.Write(name, ModWithTag(tag));
    }

    HostWindow host;
    BoxRecorder recorder;
    TempFolder folder;
};
