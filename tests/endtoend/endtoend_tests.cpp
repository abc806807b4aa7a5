// IN_TESSEL.dll on our BASS.dll, as a Windows user installs them: the program stands
// for the player (BASS.dll beside it, the plug-in in its Plugins folder), with a main
// window and a message loop. TESSEL_OUTPUT makes every play a WAV file (or the paced
// null output), which is compared with libopenmpt's own render made here, in the same
// program and with the same libopenmpt.
#include "sound_support.h"
#include "tests/support/box_recorder.h"
#include "tests/support/host_window.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>

using namespace soundtest;

namespace {

// The message the monitor thread posts once the module has ended.
const UINT kModuleEnded = WM_USER + 2;
static_assert(kModuleEnded == 1026, "the host listens for 1026");

// The host's volume scale, and what the plug-in makes of it for the library.
const int kHostVolume = 200;
const float kLibraryGain = float(kHostVolume * 100 / 256) / 100.0f; // 78 %

void IgnoreSetInfo(int, int, int, int)
{
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        In_Module *plugin = Plugin();
        plugin->Stop();
        // 44.1 kHz, 16-bit, the default device, sensitive ramping: libopenmpt's defaults.
        LoadPluginSettings(-1, 44100, 0, BASS_MUSIC_RAMPS);
        plugin->hMainWindow = host.Handle();
        plugin->SetInfo = IgnoreSetInfo;
        plugin->SetVolume(kHostVolume);
        host.ClearCounts();
    }

    void TearDown() override
    {
        Plugin()->Stop();
        host.Drain();
        SetEnvironmentVariableA("TESSEL_OUTPUT", nullptr);
    }

    // Pumps the host's messages until check() holds; false after timeoutMs.
    bool PumpUntil(const std::function<bool()> &check, DWORD timeoutMs = 10000)
    {
        DWORD start = GetTickCount();
        while (!check()) {
            if (GetTickCount() - start > timeoutMs)
                return check();
            host.Pump(5);
        }
        return true;
    }

    HostWindow host;
    BoxRecorder boxes;
    TempFolder folder;
};

// A demo module of samples/, which the native build's generator wrote.
std::vector<uint8_t> Demo(const char *name)
{
    std::ifstream file(std::string(SAMPLES_DIR) + "/" + name, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(bytes.empty()) << "expected samples/" << name;
    return bytes;
}

struct Module {
    const char *name;
    std::vector<uint8_t> bytes;
};

TEST_F(EndToEnd, EveryFormatPlaysToItsEndIntoTheWav)
{
    // MO3 as the demos have it: every sample MP3 (libmpg123-0.dll beside BASS.dll) or
    // Ogg Vorbis (linked in).
    const Module modules[] = {
        {"tune.mod", modwriter::WriteMod(ShortSong())}, {"tune.s3m", modwriter::WriteS3m(ShortSong())},
        {"tune.xm", modwriter::WriteXm(ShortSong())},   {"tune.it", modwriter::WriteIt(ShortSong())},
        {"demo-mp3.mo3", Demo("demo-mp3.mo3")},         {"demo-vorbis.mo3", Demo("demo-vorbis.mo3")}};
    for (const Module &format : modules) {
        SCOPED_TRACE(format.name);
        const std::vector<uint8_t> &module = format.bytes;
        std::string path = folder.Write(format.name, module);
        std::string wavPath = folder.File(std::string(format.name) + ".wav");
        SetOutputVariable("wav:" + wavPath);
        host.ClearCounts();
        ASSERT_EQ(0, Plugin()->Play(path.c_str())) << Describe(boxes.Boxes());
        EXPECT_TRUE(host.PumpUntil(kModuleEnded, 1, 20000)) << "expected message 1026 at the end";
        Plugin()->Stop();

        Wav wav = ReadWav(wavPath);
        std::vector<float> reference = ReferenceRender(module, 44100);
        EXPECT_EQ(44100u, wav.rate);
        EXPECT_EQ(16u, wav.bits);
        ASSERT_EQ(reference.size(), wav.samples.size()) << "expected the length of libopenmpt's own render";
        size_t off = 0;
        float worst = 0;
        for (size_t i = 0; i < reference.size(); ++i) {
            float difference = std::fabs(kLibraryGain * reference[i] - wav.samples[i]);
            worst = std::max(worst, difference);
            off += difference > 2.0f / 32768.0f;
        }
        EXPECT_EQ(0u, off) << "samples further than 2 LSB from libopenmpt's at the plug-in's volume; worst "
                           << worst * 32768 << " LSB";
        EXPECT_GT(wav.Rms(0), 0.05 * kLibraryGain) << "expected sound";
    }
    EXPECT_TRUE(boxes.Boxes().empty()) << Describe(boxes.Boxes());
}

TEST_F(EndToEnd, MusicWhoseSamplesCannotBeDecodedGetsTheLoadBox)
{
    // Samples nothing can decode would play as silence: the library refuses such a
    // music, and the plug-in says so.
    std::string path = folder.Write("vorbis.xm", WriteOggXm(ShortSong()));
    SetOutputVariable("null");
    EXPECT_EQ(1, Plugin()->Play(path.c_str()));
    ASSERT_EQ(1u, boxes.Boxes().size()) << Describe(boxes.Boxes());
    EXPECT_EQ("Can't load module", boxes.Boxes()[0].text);
}

TEST_F(EndToEnd, PauseSeekAndStopThroughTheRecord)
{
    // 16 orders of 160 ms on the null output, which keeps a device's pace.
    std::string path = folder.Write("long.xm", WriteXm(TestSong("Long", 16, 16, 1, 250)));
    SetOutputVariable("null");
    ASSERT_EQ(0, Plugin()->Play(path.c_str())) << Describe(boxes.Boxes());
    In_Module *plugin = Plugin();
    EXPECT_EQ(16000, plugin->GetLength());
    EXPECT_TRUE(PumpUntil([&] { return plugin->GetOutputTime() >= 2000; })) << "expected the music to advance";

    plugin->SetOutputTime(9000);
    EXPECT_TRUE(PumpUntil([&] { return plugin->GetOutputTime() >= 9000; })) << "expected the seek to land";
    EXPECT_LT(plugin->GetOutputTime(), 13000);

    plugin->Pause();
    EXPECT_EQ(1, plugin->IsPaused());
    host.Pump(100);
    int paused = plugin->GetOutputTime();
    host.Pump(600); // more than three orders
    EXPECT_EQ(paused, plugin->GetOutputTime()) << "expected the position to hold while paused";
    EXPECT_EQ(0, host.Count(kModuleEnded)) << "a paused music has not ended";
    plugin->UnPause();
    EXPECT_EQ(0, plugin->IsPaused());
    EXPECT_TRUE(PumpUntil([&] { return plugin->GetOutputTime() > paused; })) << "expected it to go on";

    plugin->SetOutputTime(15000);
    EXPECT_TRUE(host.PumpUntil(kModuleEnded, 1, 10000)) << "expected message 1026 after the last order";

    // Stopped mid-play, nothing more arrives.
    ASSERT_EQ(0, plugin->Play(path.c_str()));
    host.Pump(200);
    plugin->Stop();
    host.ClearCounts();
    host.Pump(500);
    EXPECT_EQ(0, host.Count(kModuleEnded)) << "expected no end message after Stop";
    EXPECT_TRUE(boxes.Boxes().empty()) << Describe(boxes.Boxes());
}

} // namespace
