// The device output over a PortAudio of this test's own, built with the engine from its
// sources: a device that stops taking frames (a stalled backend) and one that goes away.
// PortAudio's calls are answered here; the library's own sources are unchanged.
#include "soundlib/include/bass.h"
#include "test_songs.h"
#include "tessel_bass.h"

#include <gtest/gtest.h>
#include <portaudio.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

// The fake device: room in its buffer, and whether it has gone.
std::atomic<long> room{4096};
std::atomic<bool> stalled{false};
std::atomic<bool> gone{false};
std::atomic<long> framesTaken{0};

PaDeviceInfo deviceInfo{2, "Fake device", 0, 0, 2, 0.01, 0.01, 0.1, 0.1, 48000.0};
PaHostApiInfo apiInfo{1, paALSA, "ALSA", 1, 0, 0};
PaStreamInfo streamInfo{1, 0.0, 0.1, 44100.0};
int streamToken;

} // namespace

extern "C" {
PaError Pa_Initialize(void)
{
    return paNoError;
}
PaError Pa_Terminate(void)
{
    return paNoError;
}
PaDeviceIndex Pa_GetDeviceCount(void)
{
    return 1;
}
PaDeviceIndex Pa_GetDefaultOutputDevice(void)
{
    return 0;
}
const PaDeviceInfo *Pa_GetDeviceInfo(PaDeviceIndex device)
{
    return device == 0 ? &deviceInfo : nullptr;
}
PaHostApiIndex Pa_GetHostApiCount(void)
{
    return 1;
}
const PaHostApiInfo *Pa_GetHostApiInfo(PaHostApiIndex api)
{
    return api == 0 ? &apiInfo : nullptr;
}
const char *Pa_GetErrorText(PaError)
{
    return "fake error";
}
PaError Pa_OpenStream(PaStream **stream, const PaStreamParameters *, const PaStreamParameters *, double, unsigned long,
                      PaStreamFlags, PaStreamCallback *, void *)
{
    *stream = &streamToken;
    return paNoError;
}
PaError Pa_CloseStream(PaStream *)
{
    return paNoError;
}
PaError Pa_StartStream(PaStream *)
{
    return paNoError;
}
PaError Pa_AbortStream(PaStream *)
{
    return paNoError;
}
const PaStreamInfo *Pa_GetStreamInfo(PaStream *)
{
    return &streamInfo;
}
signed long Pa_GetStreamWriteAvailable(PaStream *)
{
    if (gone)
        return paUnanticipatedHostError;
    return stalled ? 0 : room.load();
}
PaError Pa_WriteStream(PaStream *, const void *, unsigned long frames)
{
    // A blocking write on a device that takes nothing returns when it does again.
    while (stalled)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    framesTaken += long(frames);
    // Paced like a device: the time the frames last.
    std::this_thread::sleep_for(std::chrono::microseconds(frames * 1000000 / 44100));
    return paNoError;
}
}

namespace {

class StalledDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        stalled = false;
        gone = false;
        framesTaken = 0;
        TesselBass_SetOutput(TESSEL_OUTPUT_DEVICE, nullptr);
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
        module_ = modwriter::WriteMod(soundtest::TestSong("Stall", 8, 16, 1, 125));
        music_ = BASS_MusicLoad(TRUE, module_.data(), 0, DWORD(module_.size()), BASS_MUSIC_LOOP);
        ASSERT_NE(0u, music_);
        ASSERT_TRUE(BASS_MusicPlayEx(music_, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (framesTaken < 4410 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_GE(framesTaken.load(), 4410) << "expected the device to be playing";
    }
    void TearDown() override
    {
        stalled = false;
        BASS_Free();
    }

    std::vector<uint8_t> module_;
    HMUSIC music_ = 0;
};

TEST_F(StalledDevice, StopAndFreeReturnWhileTheDeviceTakesNothing)
{
    stalled = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the render thread meets the stall
    auto stopped = std::async(std::launch::async, [] {
        BASS_Stop();
        BASS_Free();
    });
    // A guard against a hang, not a timed assertion: about one buffer is expected.
    bool returned = stopped.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(returned) << "expected BASS_Stop and BASS_Free to return while the device stalls";
    stalled = false; // lets a hung Free finish, so the test can end
    stopped.wait();
}

TEST_F(StalledDevice, ADeviceLostDuringPlaybackIsAStickyError)
{
    char reason[256] = "";
    EXPECT_EQ(0, TesselBass_GetOutputError(reason, sizeof reason));
    gone = true;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (BASS_ChannelIsActive(music_) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(0u, BASS_ChannelIsActive(music_)) << "expected the music to end with its device";
    ASSERT_EQ(1, TesselBass_GetOutputError(reason, sizeof reason));
    EXPECT_NE(std::string::npos, std::string(reason).find("device")) << reason;
    gone = false;
    BASS_Free();
    EXPECT_EQ(1, TesselBass_GetOutputError(reason, sizeof reason)) << "expected the error to outlive BASS_Free";
}

} // namespace
