// The library's answers at its edges: what it refuses, what it loads, devices, what
// it prints, repeated set-up and tear-down, and calls from several threads at once.
#include "sound_support.h"

#ifndef _WIN32
#include "modwriter/mo3_writer.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <random>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace soundtest;

namespace {

class Api : public ::testing::Test {
protected:
    void TearDown() override
    {
        BASS_Free();
        TesselBass_SetOutput(TESSEL_OUTPUT_DEVICE, nullptr);
        TesselBass_SetNullBuffer(0);
    }

    void InitNull()
    {
        ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_NULL, nullptr));
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    }

    HMUSIC LoadFile(const std::string &path, DWORD offset = 0, DWORD length = 0)
    {
        return BASS_MusicLoad(FALSE, path.c_str(), offset, length, BASS_MUSIC_RAMPS);
    }

    testkit::TempFolder dir_;
};

#ifndef _WIN32
// Everything written to fd 2 while it lives.
class StderrCapture {
public:
    explicit StderrCapture(const std::string &path) : path_(path)
    {
        std::fflush(stderr);
        saved_ = dup(2);
        int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, 2);
        close(file);
    }
    std::string Text()
    {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        std::ifstream file(path_);
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
    int saved_;
};
#endif

int DeviceCount()
{
    int count = 0;
    char *description = nullptr;
    while (BASS_GetDeviceDescription(count, &description)) {
        EXPECT_NE(nullptr, description);
        EXPECT_GT(std::strlen(description), 0u) << "device " << count << " has no name";
        ++count;
    }
    return count;
}

TEST_F(Api, VersionIsZeroPointEight)
{
    EXPECT_EQ(0x80000u, BASS_GetVersion());
}

TEST_F(Api, LoadRefusesWhatIsNotAModule)
{
    EXPECT_EQ(0u, LoadFile(dir_.File("any.mod"))) << "load before BASS_Init";
    InitNull();
    std::vector<uint8_t> module = WriteMod(ShortSong());
    std::mt19937 random(7);
    std::vector<uint8_t> noise(4096);
    for (uint8_t &byte : noise)
        byte = uint8_t(random());
    std::vector<uint8_t> text(2000, 'a');
    // A sound file is no module, whatever its name says.
    std::vector<uint8_t> wave = {'R', 'I', 'F', 'F', 36, 0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
                                 ' ', 16,  0,   0,   0,  1, 0,   1,   0,   0x44, 0xAC, 0,   0,   0x88, 0x58,
                                 1,   0,   2,   0,   16, 0, 'd', 'a', 't', 'a',  0,    0,   0,   0};
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
    } cases[] = {{"empty.mod", {}}, {"text.mod", text}, {"noise.xm", noise}, {"sound.mod", wave}};
    for (const Case &c : cases) {
        SaveFile(dir_.File(c.name), c.bytes);
        EXPECT_EQ(0u, LoadFile(dir_.File(c.name))) << c.name;
        if (!c.bytes.empty()) {
            EXPECT_EQ(0u, BASS_MusicLoad(TRUE, c.bytes.data(), 0, DWORD(c.bytes.size()), 0)) << c.name;
        }
    }
    EXPECT_EQ(0u, LoadFile(dir_.File("missing.mod")));
    EXPECT_EQ(0u, LoadFile(dir_.File("")));
    EXPECT_EQ(0u, LoadFile(std::string(5000, 'x')));
    EXPECT_EQ(0u, BASS_MusicLoad(FALSE, nullptr, 0, 0, 0));
    EXPECT_EQ(0u, BASS_MusicLoad(TRUE, module.data(), 0, 0, 0)) << "memory of length 0";

    // Content decides, not the name; an offset and a length pick a module out of a file.
    SaveFile(dir_.File("song.txt"), module);
    EXPECT_NE(0u, LoadFile(dir_.File("song.txt")));
    std::vector<uint8_t> wrapped(text.begin(), text.begin() + 100);
    wrapped.insert(wrapped.end(), module.begin(), module.end());
    wrapped.insert(wrapped.end(), text.begin(), text.end());
    SaveFile(dir_.File("wrapped.bin"), wrapped);
    EXPECT_NE(0u, LoadFile(dir_.File("wrapped.bin"), 100, DWORD(module.size())));
    EXPECT_EQ(0u, LoadFile(dir_.File("wrapped.bin"), DWORD(wrapped.size() + 1)));

#ifndef _WIN32
    // A FIFO is refused at once, not waited on for a writer that never comes.
    std::string fifo = dir_.File("song.fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    auto load = std::async(std::launch::async, [&] { return LoadFile(fifo); });
    bool returned = load.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(returned) << "expected the load of a FIFO to return";
    if (!returned)
        close(open(fifo.c_str(), O_WRONLY)); // lets a blocked open go on, so the test ends
    EXPECT_EQ(0u, load.get());
#endif
#ifdef __linux__
    // A large file that is no module is refused from its header, not read whole.
    auto bytesRead = [] {
        std::ifstream io("/proc/self/io");
        std::string key;
        uint64_t value = 0;
        while (io >> key >> value && key != "rchar:") {
        }
        return value;
    };
    std::string zeros = dir_.File("zeros.xm");
    std::ofstream(zeros, std::ios::binary).seekp((64 << 20) - 1).put('\0'); // sparse
    uint64_t before = bytesRead();
    EXPECT_EQ(0u, LoadFile(zeros));
    EXPECT_LT(bytesRead() - before, 1u << 20) << "bytes read to refuse 64 MB of zeros";
#endif
}

TEST_F(Api, MusicWithSamplesNothingCanDecodeIsRefused)
{
    // Loaded, it would play as silence (here an OggMod XM whose stream no decoder
    // reads); refused, the plug-in says it cannot load it.
    InitNull();
    std::vector<uint8_t> ogg = WriteOggXm(ShortSong());
    EXPECT_EQ(0u, BASS_MusicLoad(TRUE, ogg.data(), 0, DWORD(ogg.size()), BASS_MUSIC_RAMPS));
    std::vector<uint8_t> plain = WriteXm(ShortSong());
    EXPECT_NE(0u, BASS_MusicLoad(TRUE, plain.data(), 0, DWORD(plain.size()), BASS_MUSIC_RAMPS))
        << "expected the same music with plain samples to load";
#ifndef _WIN32
    // An MO3 one byte short of its sample data: libopenmpt would play the missing part
    // silent (plain, Vorbis) or as noise (packed), and say nothing.
    using modwriter::Mo3Codec;
    for (Mo3Codec codec :
         {Mo3Codec::Plain, Mo3Codec::Vorbis, Mo3Codec::SharedVorbis, Mo3Codec::Delta8, Mo3Codec::Prediction16}) {
        for (uint8_t version : {4, 5}) {
            if (codec == Mo3Codec::SharedVorbis && version < 5)
                continue;
            modwriter::Mo3File mo3 = modwriter::AsMo3(ShortSong(), codec);
            mo3.samples.push_back(mo3.samples[0]); // the cut one, with the headers to share
            mo3.codecs = {codec, codec == Mo3Codec::SharedVorbis ? Mo3Codec::Vorbis : codec};
            mo3.version = version;
            std::vector<uint8_t> whole = modwriter::BuildMo3(mo3);
            EXPECT_NE(0u, BASS_MusicLoad(TRUE, whole.data(), 0, DWORD(whole.size()), 0))
                << "expected the whole MO3 to load: codec " << int(codec) << ", version " << int(version);
            EXPECT_EQ(0u, BASS_MusicLoad(TRUE, whole.data(), 0, DWORD(whole.size() - 1), 0))
                << "expected the cut MO3 refused: codec " << int(codec) << ", version " << int(version);
            if (codec != Mo3Codec::SharedVorbis)
                continue;
            // Its own first page damaged: with none left, libopenmpt would crash.
            std::vector<uint8_t> damaged = whole;
            const char page[] = "OggS";
            auto first = std::search(damaged.begin(), damaged.end(), page, page + 4);
            ASSERT_NE(damaged.end(), first);
            first[30] ^= 0xFF;
            EXPECT_EQ(0u, BASS_MusicLoad(TRUE, damaged.data(), 0, DWORD(damaged.size()), 0))
                << "expected a shared-header Vorbis sample without a whole first page refused";
        }
    }
    // A load holds nothing up: held in mid-parse where libopenmpt logs the samples it
    // cannot decode (to std::clog, with the log on), BASS_Free and BASS_Init go on.
    struct Latch : std::streambuf {
        std::atomic<bool> entered{false}, released{false};
        int overflow(int c) override
        {
            for (entered = true; !released;)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return traits_type::not_eof(c);
        }
    } latch;
    setenv("TESSEL_SOUND_LOG", "1", 1);
    std::streambuf *saved = std::clog.rdbuf(&latch);
    auto load = std::async(std::launch::async,
                           [&] { return BASS_MusicLoad(TRUE, ogg.data(), 0, DWORD(ogg.size()), BASS_MUSIC_RAMPS); });
    EXPECT_TRUE(WaitFor([&] { return latch.entered.load(); })) << "expected libopenmpt to log while it parses";
    auto freed = std::async(std::launch::async, [] {
        BASS_Free();
        return TesselBass_SetOutput(TESSEL_OUTPUT_NULL, nullptr) && BASS_Init(-1, 44100, 0, nullptr);
    });
    EXPECT_EQ(std::future_status::ready, freed.wait_for(std::chrono::seconds(5))) << "expected no wait for a load";
    latch.released = true;
    EXPECT_EQ(0u, load.get());
    EXPECT_TRUE(freed.get());
    std::clog.rdbuf(saved);
    unsetenv("TESSEL_SOUND_LOG");
#endif
}

TEST_F(Api, FormatsLoadWithTheirNameAndSongLength)
{
    // The name comes back in the file's own bytes, whatever libopenmpt makes of them.
    Tune song = TestSong("Tessel Caf\xE9 \x80", 5, 8, 1, 250);
    Tune marked = song; // "+++" counts as a place in the order list, "---" ends it
    marked.song.orders = {0, 1, modwriter::kOrderSkip, 2, modwriter::kOrderEnd, 3, 4};
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        DWORD length;
    } cases[] = {{"a.mod", WriteMod(song), 5}, {"a.xm", WriteXm(song), 5},     {"a.s3m", WriteS3m(song), 5},
                 {"a.it", WriteIt(song), 5},   {"b.s3m", WriteS3m(marked), 4}, {"b.it", WriteIt(marked), 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SaveFile(dir_.File(c.name), c.bytes);
        ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, dir_.File("format.wav").c_str()));
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
        HMUSIC music = LoadFile(dir_.File(c.name));
        ASSERT_NE(0u, music);
        ASSERT_NE(nullptr, BASS_MusicGetName(music));
        EXPECT_STREQ("Tessel Caf\xE9 \x80", BASS_MusicGetName(music));
        EXPECT_EQ(c.length, BASS_MusicGetLength(music));
        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; }));
        EXPECT_EQ(c.length - 1, BASS_ChannelGetPosition(music) & 0xFFFF) << "ended on the last order";
        BASS_Free();
        EXPECT_GT(ReadWav(dir_.File("format.wav")).Rms(1), 0.02) << "expected sound";
    }
}

TEST_F(Api, DescribeFileTellsSubsongsAndRefusesWhatIsNoModule)
{
    // Orders 0-1 jump back to 0: one subsong; orders 2-4 are reached only as another.
    Tune song = TestSong("Facts", 5, 8, 1, 250);
    song.song.patterns[1].At(7, 3) =
        modwriter::Cell{modwriter::kNoNote, 0, modwriter::kNoVolume, modwriter::Effect::Jump, 0};
    SaveFile(dir_.File("two.it"), WriteIt(song));
    TesselBassFileFacts facts{};
    TesselBassSubsong subsongs[3] = {{7, 7}, {7, 7}, {7, 7}};
    ASSERT_EQ(TESSEL_FILE_OK, TesselBass_DescribeFile(dir_.File("two.it").c_str(), &facts, subsongs, 3));
    EXPECT_EQ(2u, facts.subsongs);
    EXPECT_STREQ("Impulse Tracker 2.14", facts.format);
    EXPECT_EQ(ReadFileBytes(dir_.File("two.it")).size(), facts.fileBytes);
    EXPECT_EQ(0u, subsongs[0].startOrder);
    EXPECT_EQ(2u, subsongs[1].startOrder);
    EXPECT_GT(subsongs[0].durationMs, 0u);
    EXPECT_EQ(subsongs[1].durationMs * 2, subsongs[0].durationMs * 3) << "3 orders against 2 of the same length";
    EXPECT_EQ(subsongs[0].durationMs + subsongs[1].durationMs, facts.durationMs);
    EXPECT_EQ(7u, subsongs[2].startOrder) << "an entry past the subsongs was written";
    // Fewer places than subsongs: the count still, and nothing past the places.
    subsongs[1] = {7, 7};
    ASSERT_EQ(TESSEL_FILE_OK, TesselBass_DescribeFile(dir_.File("two.it").c_str(), &facts, subsongs, 1));
    EXPECT_EQ(2u, facts.subsongs);
    EXPECT_EQ(7u, subsongs[1].startOrder) << "written past maxSubsongs";
    EXPECT_EQ(TESSEL_FILE_OK, TesselBass_DescribeFile(dir_.File("two.it").c_str(), &facts, nullptr, 3));

    // A file of one subsong just loaded is told from what the load read, as a reading of
    // it tells it; changed, it is read afresh.
    SaveFile(dir_.File("one.it"), WriteIt(TestSong("Once", 3, 8, 1, 250)));
    TesselBassFileFacts read{}, loaded{};
    TesselBassSubsong readOnly{}, loadedOnly{};
    ASSERT_EQ(TESSEL_FILE_OK, TesselBass_DescribeFile(dir_.File("one.it").c_str(), &read, &readOnly, 1));
    InitNull();
    ASSERT_NE(0u, LoadFile(dir_.File("one.it")));
    ASSERT_EQ(TESSEL_FILE_OK, TesselBass_DescribeFile(dir_.File("one.it").c_str(), &loaded, &loadedOnly, 1));
    EXPECT_EQ(0, std::memcmp(&read, &loaded, sizeof read)) << "the load's facts differ from a reading's";
    EXPECT_EQ(0, std::memcmp(&readOnly, &loadedOnly, sizeof readOnly)) << "the load's subsong differs";
    SaveFile(dir_.File("one.it"), WriteIt(TestSong("Twice", 6, 8, 1, 250)));
    ASSERT_EQ(TESSEL_FILE_OK, TesselBass_DescribeFile(dir_.File("one.it").c_str(), &loaded, &loadedOnly, 1));
    EXPECT_EQ(2 * readOnly.durationMs, loadedOnly.durationMs) << "the changed file was not read again";

    // What is no module, or no file, is told apart, and leaves no facts behind.
    std::vector<uint8_t> module = WriteIt(song);
    SaveFile(dir_.File("cut.it"), std::vector<uint8_t>(module.begin(), module.begin() + 64));
    std::vector<uint8_t> noise(4096);
    std::mt19937 random(3);
    for (uint8_t &byte : noise)
        byte = uint8_t(random());
    SaveFile(dir_.File("noise.mod"), noise);
    ASSERT_TRUE(std::filesystem::create_directory(dir_.File("folder.it")));
    struct Case {
        const char *name;
        int expected;
    } cases[] = {{"cut.it", TESSEL_FILE_NOT_MODULE},
                 {"noise.mod", TESSEL_FILE_NOT_MODULE},
                 {"missing.it", TESSEL_FILE_UNREADABLE},
                 {"folder.it", TESSEL_FILE_UNREADABLE}};
    for (const Case &c : cases) {
        facts.subsongs = 9;
        EXPECT_EQ(c.expected, TesselBass_DescribeFile(dir_.File(c.name).c_str(), &facts, subsongs, 3)) << c.name;
        EXPECT_EQ(0u, facts.subsongs) << c.name;
        EXPECT_STREQ("", facts.format) << c.name;
    }
    EXPECT_EQ(TESSEL_FILE_BAD_CALL, TesselBass_DescribeFile(nullptr, &facts, subsongs, 3));
    EXPECT_EQ(TESSEL_FILE_BAD_CALL, TesselBass_DescribeFile(dir_.File("two.it").c_str(), nullptr, subsongs, 3));
}

TEST_F(Api, StaleAndUnknownHandlesAreRefusedHarmlessly)
{
    EXPECT_FALSE(BASS_Start());
    EXPECT_FALSE(BASS_Pause());
    EXPECT_FALSE(BASS_Stop());
    BASS_Free();
    InitNull();
    std::vector<uint8_t> module = WriteMod(ShortSong());
    HMUSIC music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), 0);
    ASSERT_NE(0u, music);
    BASS_MusicFree(music);
    for (DWORD handle : {DWORD(0), music, music + 1000}) {
        SCOPED_TRACE(handle);
        EXPECT_EQ(nullptr, BASS_MusicGetName(handle));
        EXPECT_EQ(0u, BASS_MusicGetLength(handle));
        EXPECT_EQ(0u, BASS_ChannelGetPosition(handle));
        EXPECT_FALSE(BASS_ChannelSetPosition(handle, 0x10000));
        EXPECT_FALSE(BASS_ChannelSetAttributes(handle, -1, 50, -1));
        EXPECT_EQ(0u, BASS_ChannelIsActive(handle));
        EXPECT_FALSE(BASS_MusicPlayEx(handle, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        BASS_MusicFree(handle);
    }
    // A start position must exist too.
    music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), 0);
    EXPECT_FALSE(BASS_MusicPlayEx(music, kShortOrders, BASS_MUSIC_PLAY_FLAGS, TRUE));
    EXPECT_FALSE(BASS_MusicPlayEx(music, 1 | (64 << 16), BASS_MUSIC_PLAY_FLAGS, TRUE));
    EXPECT_TRUE(BASS_MusicPlayEx(music, 1 | (5 << 16), BASS_MUSIC_PLAY_FLAGS, TRUE));
    // A second Init replaces the first output and its musics, and a handle the host
    // kept names none of the new output's.
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    EXPECT_EQ(0u, BASS_MusicGetLength(music));
    for (int load = 0; load < 2; ++load)
        ASSERT_NE(0u, BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), 0));
    EXPECT_EQ(0u, BASS_MusicGetLength(music)) << "expected the old handle to name no new music";
    BASS_Free();
    BASS_Free();
    EXPECT_EQ(0u, BASS_MusicGetLength(music));
}

TEST_F(Api, UnusableOutputsFailCleanly)
{
    int devices = DeviceCount();
    char *description = nullptr;
    EXPECT_FALSE(BASS_GetDeviceDescription(-1, &description));
    EXPECT_FALSE(BASS_GetDeviceDescription(0, nullptr));
    EXPECT_FALSE(BASS_Init(devices, 44100, 0, nullptr)) << "device " << devices << " does not exist";
    EXPECT_FALSE(BASS_Init(-2, 44100, 0, nullptr));
    if (devices == 0) {
        EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr)) << "no device, no default device";
    }
    TesselBassStats stats;
    EXPECT_FALSE(TesselBass_GetStats(&stats));

    EXPECT_FALSE(TesselBass_SetOutput(7, nullptr));
    EXPECT_FALSE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, nullptr));
    EXPECT_FALSE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, ""));
    ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, dir_.File("no/such/dir.wav").c_str()));
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr));

    // A descriptor serves the file outputs only, and must be open for writing.
    EXPECT_FALSE(TesselBass_SetOutputFile(TESSEL_OUTPUT_NULL, 1));
    EXPECT_FALSE(TesselBass_SetOutputFile(TESSEL_OUTPUT_WAV, -1));
#ifndef _WIN32
    int readOnly = open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_FALSE(TesselBass_SetOutputFile(TESSEL_OUTPUT_WAV, readOnly)) << "a descriptor open for reading only";
    close(readOnly);
#endif
}

TEST_F(Api, RatesTheOutputCannotTakeGiveItsOwnRate)
{
    // An empty rate box stores 0: playback goes on at the output's own rate.
    for (int kind : {TESSEL_OUTPUT_NULL, TESSEL_OUTPUT_WAV}) {
        ASSERT_TRUE(TesselBass_SetOutput(kind, dir_.File("rate.wav").c_str()));
        for (DWORD freq : {0u, 4410u, 7999u, 192001u, 0xFFFFFFFFu}) {
            ASSERT_TRUE(BASS_Init(-1, freq, 0, nullptr)) << "output " << kind << ", rate " << freq;
            TesselBassStats stats{};
            ASSERT_TRUE(TesselBass_GetStats(&stats));
            EXPECT_EQ(44100u, stats.rate) << "output " << kind << ", rate " << freq;
        }
    }
    ASSERT_TRUE(BASS_Init(-1, 8000, 0, nullptr));
    TesselBassStats stats{};
    ASSERT_TRUE(TesselBass_GetStats(&stats));
    EXPECT_EQ(8000u, stats.rate);
}

// PortAudio's probing and ALSA's null device: the Linux device output. The waveOut
// output has a test program of its own (tests/waveout).
#ifndef _WIN32
TEST_F(Api, ProbingAndLoadingPrintNothing)
{
    std::vector<uint8_t> module = WriteMod(ShortSong());
    module.resize(module.size() - 20); // a sample cut short
    StderrCapture capture(dir_.File("stderr.txt"));
    int devices = DeviceCount();
    BASS_Init(-1, 44100, 0, nullptr);
    BASS_Init(devices, 44100, 0, nullptr);
    TesselBass_SetOutput(TESSEL_OUTPUT_NULL, nullptr);
    BASS_Init(-1, 44100, 0, nullptr);
    HMUSIC music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), 0);
    BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE);
    BASS_Free();
    EXPECT_EQ("", capture.Text());
}

TEST_F(Api, ProbingLeavesAClosedStderrAlone)
{
    // fd 2 belongs to the whole process: the library must not open, move or close it,
    // even when the process started without one.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(2);
        execl(STDERR_PROBE, STDERR_PROBE, static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << "expected fd 2 still closed after the device probe and a device Init";
}

TEST_F(Api, DeviceOutputPlaysOnAlsasNullDevice)
{
    // ALSA's null device stands in for a sound card: PortAudio opens it and takes
    // every frame at once (no clock), which is enough to drive the device output.
    std::string config = dir_.File("asound.conf");
    std::ofstream(config) << "pcm.!default { type null }\n";
    const char *previous = std::getenv("ALSA_CONFIG_PATH");
    std::string saved = previous ? previous : "";
    setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    int devices = DeviceCount();
    EXPECT_GE(devices, 1) << "expected ALSA's null device to be listed";
    std::vector<uint8_t> module = WriteMod(ShortSong());
    for (DWORD devflags : {DWORD(0), DWORD(BASS_DEVICE_8BITS)}) {
        SCOPED_TRACE(devflags);
        ASSERT_TRUE(BASS_Init(devices - 1, 44100, devflags, nullptr));
        ASSERT_TRUE(BASS_Start());
        HMUSIC music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), BASS_MUSIC_RAMPS);
        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; }));
        EXPECT_EQ(kShortOrders - 1, BASS_ChannelGetPosition(music) & 0xFFFF) << "ended on the last order";
        // Paused, resumed and restarted on the device, then released.
        EXPECT_TRUE(BASS_Pause());
        EXPECT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        EXPECT_TRUE(BASS_Start());
        EXPECT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(music) == 0; }));
        TesselBassStats stats{};
        ASSERT_TRUE(TesselBass_GetStats(&stats));
        EXPECT_GE(stats.framesWritten, 2 * SongFrames(kShortOrders, 16, 1, 250, 44100));
        EXPECT_EQ(devflags ? 8u : 16u, stats.bits);
        BASS_Free();
    }
    // No rate: the device's own.
    ASSERT_TRUE(BASS_Init(devices - 1, 0, 0, nullptr));
    TesselBassStats stats{};
    ASSERT_TRUE(TesselBass_GetStats(&stats));
    EXPECT_GE(stats.rate, 8000u);
    BASS_Free();
    if (previous)
        setenv("ALSA_CONFIG_PATH", saved.c_str(), 1);
    else
        unsetenv("ALSA_CONFIG_PATH");
}
#endif

TEST_F(Api, InitLoadFreeCyclesLeaveNothingBehind)
{
    std::vector<uint8_t> module = WriteXm(ShortSong());
    size_t descriptors = OpenDescriptorCount();
    size_t threads = ThreadCount();
    for (int cycle = 0; cycle < 60; ++cycle) {
        if (cycle % 2)
            ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_WAV, dir_.File("cycle.wav").c_str()));
        else
            ASSERT_TRUE(TesselBass_SetOutput(TESSEL_OUTPUT_NULL, nullptr));
        ASSERT_TRUE(BASS_Init(-1, 44100, cycle % 3 == 0 ? BASS_DEVICE_8BITS : 0, nullptr));
        HMUSIC music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), DWORD(cycle & 0x7F));
        ASSERT_NE(0u, music);
        ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
        if (cycle % 4 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (cycle % 5 == 0)
            BASS_MusicFree(music); // freed while the render thread may hold it
        BASS_Stop();
        BASS_Free();
    }
    EXPECT_EQ(descriptors, OpenDescriptorCount());
    EXPECT_EQ(threads, ThreadCount());
}

TEST_F(Api, CallsFromManyThreadsAtOnce)
{
    InitNull();
    std::vector<uint8_t> module = WriteMod(TestSong("Threads", 6, 8, 1, 250));
    HMUSIC music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), BASS_MUSIC_LOOP);
    ASSERT_TRUE(BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE));
    std::atomic<bool> done{false};
    std::atomic<int> badPositions{0};
    std::thread watcher([&] {
        while (!done) {
            DWORD position = BASS_ChannelGetPosition(music);
            badPositions += (position & 0xFFFF) >= 6 || (position >> 16) >= 8;
            BASS_ChannelIsActive(music);
            BASS_MusicGetName(music);
            TesselBassStats stats;
            TesselBass_GetStats(&stats);
        }
    });
    std::thread mover([&] {
        std::mt19937 random(3);
        while (!done) {
            BASS_ChannelSetPosition(music, 0x10000 | (random() % 7));
            BASS_ChannelSetAttributes(music, int(random() % 3) * 22050, int(random() % 101), int(random() % 201) - 100);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        switch (i % 4) {
        case 0:
            BASS_Pause();
            break;
        case 1:
            BASS_Start();
            break;
        case 2:
            BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE);
            break;
        case 3:
            BASS_Stop();
            BASS_Start();
            break;
        }
    }
    BASS_MusicPlayEx(music, 0, BASS_MUSIC_PLAY_FLAGS, TRUE);
    BASS_MusicFree(music);
    BASS_Free();
    done = true;
    watcher.join();
    mover.join();
    EXPECT_EQ(0, badPositions.load()) << "positions outside the song";
}

} // namespace
