// Threads calling the sound library's API at random: builds and teardowns of the
// output, loads, starts, seeks, pulls, queries and cancels, all at once. It checks
// only that every call returns and the answers stay in range; the sanitizers check
// the rest. Usage: api_stress [threads] [operations in all].
#include "soundlib/include/bass.h"
#include "test_songs.h"
#include "tessel_bass.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kOrders = 6;
constexpr uint32_t kRows = 8;

struct Shared {
    std::vector<uint8_t> module;
    int sink = -1; // the offline output's file
    std::atomic<uint32_t> music{0};
    std::atomic<long> left{0};
    std::atomic<long> bad{0};
    std::atomic<long> inits{0};  // that succeeded
    std::atomic<long> pulled{0}; // frames
    std::atomic<long> cancels{0};
};

void Operate(Shared &shared, std::mt19937 &random)
{
    const HMUSIC music = shared.music.load();
    switch (random() % 16) {
    case 0:
        // The two outputs that need no device: one paced by the clock, one by pulls.
        if (random() % 2)
            TesselBass_SetOutput(TESSEL_OUTPUT_NULL, nullptr);
        else
            TesselBass_SetOutputFile(TESSEL_OUTPUT_OFFLINE, shared.sink);
        shared.inits += BASS_Init(-1, 44100, 0, nullptr) ? 1 : 0;
        break;
    case 1:
        if (random() % 4 == 0)
            BASS_Free();
        break;
    case 2: {
        HMUSIC loaded = BASS_MusicLoad(TRUE, shared.module.data(), 0, DWORD(shared.module.size()),
                                       random() % 2 ? BASS_MUSIC_LOOP : 0);
        if (loaded != 0)
            shared.music = loaded;
        break;
    }
    case 3:
        BASS_MusicFree(music);
        break;
    case 4:
    case 5:
        BASS_MusicPlayEx(music, random() % kOrders, BASS_MUSIC_PLAY_FLAGS, TRUE);
        break;
    case 6:
        BASS_ChannelSetPosition(music, 0x10000 | (random() % (kOrders + 1)));
        break;
    case 7:
        BASS_ChannelSetAttributes(music, int(random() % 4) * 22050, int(random() % 101), int(random() % 201) - 100);
        break;
    case 8:
        switch (random() % 3) {
        case 0:
            BASS_Pause();
            break;
        case 1:
            BASS_Start();
            break;
        default:
            BASS_Stop();
            break;
        }
        break;
    case 9:
    case 10:
        shared.pulled += TesselBass_Pull(uint32_t(random() % 8192), nullptr);
        break;
    case 11: {
        DWORD position = BASS_ChannelGetPosition(music);
        shared.bad += (position & 0xFFFF) > kOrders || (position >> 16) >= kRows;
        BASS_ChannelIsActive(music);
        break;
    }
    case 12: {
        TesselBassPlaying playing{};
        if (TesselBass_GetPlaying(&playing))
            shared.bad += playing.peakLeft < 0 || playing.peakLeft > 1 || playing.order > kOrders;
        break;
    }
    case 13: {
        TesselBassStats stats{};
        if (TesselBass_GetStats(&stats))
            shared.bad += stats.framesHeard > stats.framesWritten;
        char reason[128];
        TesselBass_GetOutputError(reason, sizeof reason);
        break;
    }
    case 14:
        if (random() % 8 == 0) {
            TesselBass_Cancel();
            ++shared.cancels;
        }
        break;
    default:
        BASS_MusicGetName(music);
        BASS_MusicGetLength(music);
        break;
    }
}

} // namespace

int main(int argc, char **argv)
{
    const int threads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4;
    const long operations = argc > 2 ? std::max(1L, std::atol(argv[2])) : 10000;
    Shared shared;
    shared.module = modwriter::WriteMod(soundtest::TestSong("Stress", kOrders, kRows, 1, 250));
    shared.sink = open("/dev/null", O_WRONLY | O_CLOEXEC);
    shared.left = operations;
    TesselBass_SetNullBuffer(100);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back([&shared, i] {
            std::mt19937 random(unsigned(i) + 1);
            while (shared.left.fetch_sub(1) > 0)
                Operate(shared, random);
        });
    for (std::thread &worker : workers)
        worker.join();
    BASS_Free();
    close(shared.sink);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%ld operations on %d threads in %.2f s (%ld Inits, %ld frames pulled, %ld cancels), %ld answers out "
                "of range\n",
                operations, threads, seconds, shared.inits.load(), shared.pulled.load(), shared.cancels.load(),
                shared.bad.load());
    return shared.bad.load() == 0 ? 0 : 1;
}
