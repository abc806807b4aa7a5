// tessel's command line without a terminal: usage and exit status, --info and
// --info --json for every format and for files that do not play, -o into WAV files,
// --devices, folders as arguments, and the demo modules in samples/.
#include "host_support.h"

#include "songs.h"
#include "tests/fixtures/fixture_folder.h"
#include "tests/support/wav_file.h"

#include <libopenmpt/libopenmpt.hpp>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cmath>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <thread>

namespace hosttest {
namespace {

std::string Text(const std::string &path)
{
    Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

class Cli : public HostTest {
protected:
    // A MOD, an S3M, an XM and an IT that play, with names worth reading.
    void WriteEveryFormat()
    {
        modwriter::ModFile mod;
        mod.song.title = "Host MOD";
        mod.samples = {modwriter::SquareSample("kick"), modwriter::Sample{}, modwriter::SquareSample("snare")};
        Write("song.mod", modwriter::BuildMod(mod));

        modwriter::S3mFile s3m;
        s3m.song.title = "Host S3M";
        s3m.instruments = {modwriter::SquareSample("lead"), modwriter::SquareSample("bass")};
        Write("song.s3m", modwriter::BuildS3m(s3m));

        WriteTune("song.xm", "Host XM", 2, 8);
        WriteTune("song.it", "Host IT", 2, 8);
    }

    // tessel under a 1 MB file-size limit, SIGXFSZ at its default as a shell's ulimit
    // leaves it: tessel itself must turn the limit into a failed write.
    RunResult RunWithFileSizeLimit(const std::vector<std::string> &arguments)
    {
        rlimit saved{};
        EXPECT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
        rlimit limited = saved;
        limited.rlim_cur = 1 << 20;
        EXPECT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
        sighandler_t previous = signal(SIGXFSZ, SIG_DFL);
        RunResult result = Run(arguments);
        signal(SIGXFSZ, previous);
        EXPECT_EQ(0, setrlimit(RLIMIT_FSIZE, &saved));
        return result;
    }

    // A render long enough to interrupt: about a second of work, some 100 MB of WAV.
    // A render that lasts about two seconds even on an idle machine (80 orders at
    // 22050 Hz took 0.35 s), so that a signal half a second in finds it still working.
    void WriteLongRender()
    {
        WriteTune("long.xm", "Long", 200, 128);
        WriteSettings(-1, 44100, 0x01, 0x02);
    }

    struct Interrupted {
        int status = -1;   // as the shell sees it: 128 + the signal that ended tessel
        long endedMs = -1; // from the signal to the end
        std::string err;
    };
    // The shell runs prepare, then tessel with arguments in the background, sends it
    // signal after delay seconds and waits (killing it 10 s on, should it hang). A
    // process that prepare starts in the background sets r, and is ended then. The
    // watchdog writes nowhere, so its sleep does not hold the shell's output open.
    Interrupted InterruptAfter(const std::string &prepare, const std::string &arguments, const char *delay,
                               const char *signal)
    {
        const std::string script =
            "cd '" + Folder() + "' || exit 99; export XDG_CONFIG_HOME=config LC_ALL=C.UTF-8; " + prepare +
            " " TESSEL_BINARY " 2> err.txt " + arguments + " & p=$!; sleep " + delay + "; kill -" + signal +
            " $p; s=$(date +%s%N); (sleep 10; kill -KILL $p) >/dev/null 2>&1"
            " & w=$!; wait $p; x=$?; e=$(date +%s%N); kill $w $r 2>/dev/null; echo $x $(((e - s) / 1000000))"
            " > ended.txt";
        Interrupted result;
        EXPECT_EQ(0, RunShell(script, std::chrono::seconds(30)).status) << script;
        std::sscanf(Text(Path("ended.txt")).c_str(), "%d %ld", &result.status, &result.endedMs);
        result.err = Text(Path("err.txt"));
        return result;
    }
};

// The sound library's WAV, whose header gives the file's own data size.
testkit::Wav ReadWav(const std::string &path)
{
    testkit::Wav wav = testkit::ReadWav(path);
    EXPECT_EQ(wav.data.size(), wav.declaredBytes) << path << ": the data size in the header is not the file's";
    return wav;
}

TEST_F(Cli, HelpVersionAndBadUsage)
{
    RunResult help = Run({"--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("Usage: tessel")) << help.out;
    // How a looping module still ends under -o is told there.
    EXPECT_NE(std::string::npos, help.out.find("--max-time")) << help.out;
    EXPECT_NE(std::string::npos, help.out.find("loop")) << help.out;
    // The playlist's jumps, and the keys of a list with an edit.
    for (const char *told : {"digits then Enter", "Home/End", "F4 opens a list", "--shuffle", "--repeat", "--loop N",
                             ".m3u8", "natural order", "--subsong N", "OUT.flac", "</> previous/next subsong"})
        EXPECT_NE(std::string::npos, help.out.find(told)) << told << " is not in\n" << help.out;

    RunResult version = Run({"--version"});
    EXPECT_EQ(0, version.status);
    EXPECT_EQ("tessel 0.8.3\n", version.out);

    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--bogus", "a.xm"},
        {"-o"},
        {"--json", "a.xm"},
        {"--info", "-o", "x.wav", "a.xm"},
        {"--config", "a.xm"},
        {"--devices", "--null"},
        {"--max-time", "10", "a.xm"},
        {"-o", "x.wav", "--max-time", "-1", "a.xm"},
        // Past what the limit's 32 bits of milliseconds hold, and below one of them.
        {"-o", "x.wav", "--max-time", "4294968", "a.xm"},
        {"-o", "x.wav", "--max-time", "0.0001", "a.xm"},
        {"--loop", "-1", "a.xm"},
        {"--loop", "2x", "a.xm"},
        {"--loop", "1000001", "a.xm"},
        {"-o", "x.wav", "--shuffle", "a.xm"},
    };
    for (const auto &arguments : bad) {
        RunResult result = Run(arguments);
        std::string shown;
        for (const std::string &arg : arguments)
            shown += arg + " ";
        EXPECT_EQ(2, result.status) << "tessel " << shown << "\n" << result.err;
        EXPECT_NE(std::string::npos, result.err.find("Usage:")) << "tessel " << shown << "\n" << result.err;
        EXPECT_EQ("", result.out) << "tessel " << shown;
    }
    // A long option is named in its error.
    EXPECT_NE(std::string::npos, Run({"--info=3", "a.xm"}).err.find("tessel: --info takes no value\n"));
}

TEST_F(Cli, InfoPrintsTheDialogFieldsOfEveryFormat)
{
    WriteEveryFormat();
    RunResult result = Run({"--info", "song.mod", "song.s3m", "song.xm", "song.it"});
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_EQ("", result.err);
    // The sound library's facts follow the dialog's fields, as libopenmpt names them.
    auto facts = [&](const char *duration, const char *format, const char *tracker, const char *file) {
        return std::string("Duration: ") + duration + "\nSubsongs: 1\nFormat: " + format + "\nTracker: " + tracker +
               "\nSize: " + std::to_string(ReadFile(Path(file)).size()) + " bytes\n";
    };
    EXPECT_EQ("Title: Host MOD\n"
              "File: song.mod\n"
              "Channel: 4\n"
              "Sampletext:\n"
              "  kick\n"
              "  snare\n"
              "Message:\n"
              "  no message available\n" +
                  facts("0:07.7", "ProTracker MOD (M.K.)", "Generic ProTracker or compatible", "song.mod") +
                  "\n"
                  "Title: Host S3M\n"
                  "File: song.s3m\n"
                  "Channel: 4\n"
                  "Sampletext:\n"
                  "  lead\n"
                  "  bass\n"
                  "Message:\n"
                  "  no message available\n" +
                  facts("0:07.7", "Scream Tracker 3", "Velvet Studio", "song.s3m") +
                  "\n"
                  "Title: Host XM\n"
                  "File: song.xm\n"
                  "Channel: 4\n"
                  "Sampletext:\n"
                  "  Kick\n"
                  "  Bass (saw)\n"
                  "  Lead (pulse)\n"
                  "Message:\n"
                  "  no message available\n" +
                  facts("0:01.9", "FastTracker 2 v1.04", "FastTracker v2.00", "song.xm") +
                  "\n"
                  "Title: Host IT\n"
                  "File: song.it\n"
                  "Channel: 4\n"
                  "Sampletext:\n"
                  "  Kick\n"
                  "  Bass (saw)\n"
                  "  Lead (pulse)\n"
                  "Message:\n"
                  "  Test tune\n"
                  "  for the host's tests\n" +
                  facts("0:01.9", "Impulse Tracker 2.14", "Impulse Tracker 2.14", "song.it") + "\n",
              result.out);
}

// The sound library's facts of a module of one subsong, as --json ends its record.
std::string JsonFacts(int ms, const std::string &format, const std::string &tracker, size_t bytes)
{
    return ",\"durationMs\":" + std::to_string(ms) +
           ",\"subsongs\":[{\"startOrder\":0,\"durationMs\":" + std::to_string(ms) + "}],\"format\":\"" + format +
           "\",\"tracker\":\"" + tracker + "\",\"fileBytes\":" + std::to_string(bytes) + "}\n";
}

TEST_F(Cli, InfoJsonKeepsTheTextsAsTheDialogHoldsThem)
{
    WriteEveryFormat();
    // 8-bit names, which the plug-in reads byte for byte: Latin-1 0xE9 is U+00E9, two
    // bytes in UTF-8. (The title comes from the sound library, which has a code page
    // of its own for each format.)
    modwriter::XmFile xm;
    xm.song.title = "Latin";
    xm.instruments = {modwriter::XmInstrument{"Cr\xe8me \"br\xfbl\xe9\"", {modwriter::SquareSample("s")}, {}, {}, {}}};
    Write("latin.xm", modwriter::BuildXm(xm));

    RunResult result = Run({"--info", "--json", "song.mod", "song.it", "latin.xm"});
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_EQ(
        "{\"title\":\"Host MOD\",\"file\":\"song.mod\",\"channel\":\"4\","
        "\"sampleText\":\"kick\\r\\nsnare\\r\\n\",\"message\":\"no message available\"" +
            JsonFacts(7680, "ProTracker MOD (M.K.)", "Generic ProTracker or compatible",
                      ReadFile(Path("song.mod")).size()) +
            "{\"title\":\"Host IT\",\"file\":\"song.it\",\"channel\":\"4\","
            "\"sampleText\":\"Kick\\r\\nBass (saw)\\r\\nLead (pulse)\\r\\n\","
            "\"message\":\"Test tune\\r\\nfor the host's tests\\r\\n\"" +
            JsonFacts(1920, "Impulse Tracker 2.14", "Impulse Tracker 2.14", ReadFile(Path("song.it")).size()) +
            "{\"title\":\"Latin\",\"file\":\"latin.xm\",\"channel\":\"4\","
            "\"sampleText\":\"Cr\xc3\xa8me \\\"br\xc3\xbbl\xc3\xa9\\\"\\r\\n\",\"message\":\"no message available\"" +
            JsonFacts(7680, "FastTracker 2 v1.04", "FastTracker v2.00", ReadFile(Path("latin.xm")).size()),
        result.out);
}

TEST_F(Cli, NonAsciiPathsAndModuleTexts)
{
    // A UTF-8 path, and a name in Windows-1252: the euro sign, an undefined byte (0x81),
    // curly quotes, an accented letter and an escape sequence.
    modwriter::XmFile xm;
    xm.song.title = "Caf\xe9 Tune";
    xm.instruments = {modwriter::XmInstrument{"\x80 \x81 \x93"
                                              "Cr\xe8me\x94\x1b[2J",
                                              {modwriter::SquareSample("s")},
                                              {},
                                              {},
                                              {}}};
    ASSERT_EQ(0, mkdir(Path("\xc3\xbc dir").c_str(), 0700));
    const std::string file = "\xc3\xbc dir/caf\xc3\xa9 \xe2\x80\x93 song.xm";
    Write(file, modwriter::BuildXm(xm));

    RunResult plain = Run({"--info", file});
    EXPECT_EQ(0, plain.status) << plain.err;
    EXPECT_NE(std::string::npos, plain.out.find("Title: Caf\xc3\xa9 Tune\n")) << plain.out;
    EXPECT_NE(std::string::npos, plain.out.find("File: " + file + "\n")) << plain.out;
    EXPECT_NE(std::string::npos, plain.out.find("  \xe2\x82\xac ? \xe2\x80\x9c"
                                                "Cr\xc3\xa8me\xe2\x80\x9d?[2J\n"))
        << plain.out;

    // JSON: the path as it is, the module's bytes as Latin-1, the escape escaped, and
    // the C1 controls (U+0080-U+009F) and DEL too, in module texts and in names.
    RunResult json = Run({"--info", "--json", file});
    EXPECT_EQ(0, json.status) << json.err;
    EXPECT_NE(std::string::npos, json.out.find("\"file\":\"" + file + "\"")) << json.out;
    EXPECT_NE(std::string::npos, json.out.find("\"title\":\"Caf\xc3\xa9 Tune\"")) << json.out;
    EXPECT_NE(std::string::npos, json.out.find("\"sampleText\":\"\\u0080 \\u0081 \\u0093"
                                               "Cr\xc3\xa8me\\u0094\\u001b[2J\\r\\n\""))
        << json.out;
    RunResult controls = Run({"--info", "--json", "gone\xc2\x9b\x7f.xm"});
    EXPECT_NE(std::string::npos, controls.out.find("\"file\":\"gone\\u009b\\u007f.xm\"")) << controls.out;

    // Whatever the locale: the same JSON in C; plain text there shows '?' for each
    // character ASCII lacks.
    RunResult cJson = RunIn("C", {"--info", "--json", file});
    EXPECT_EQ(json.out, cJson.out);
    RunResult cPlain = RunIn("C", {"--info", file});
    EXPECT_NE(std::string::npos, cPlain.out.find("File: ? dir/caf? ? song.xm\n")) << cPlain.out;
    EXPECT_NE(std::string::npos, cPlain.out.find("  ? ? ?Cr?me??[2J\n")) << cPlain.out;

    // Names with control characters (a terminal title, a colour) reach no line raw:
    // not the rendered files', not a file that did not play, not an argument.
    const std::string hostile = "x\x1b]2;TITLE\x07\x1b[41m.xm";
    ASSERT_EQ(0, mkdir(Path("in").c_str(), 0700));
    WriteTune("in/" + hostile, "Hostile", 1, 4);
    for (const std::vector<std::string> &arguments :
         {std::vector<std::string>{"-o", "out/", "in/"}, {"--null", "gone" + hostile}, {"--bogus" + hostile}}) {
        RunResult result = Run(arguments);
        std::string said = result.out + result.err;
        EXPECT_EQ(std::string::npos, said.find_first_of("\x1b\x07")) << arguments[0] << ": " << said;
        EXPECT_NE(std::string::npos, said.find("x?]2;TITLE??[41m.")) << arguments[0] << ": " << said;
    }
    // Nor a settings folder's name in the settings store's notices.
    const std::string hostileConfig = "config\x1b[41m";
    ASSERT_EQ(0, mkdir(Path(hostileConfig).c_str(), 0700));
    ASSERT_EQ(0, mkdir(Path(hostileConfig + "/tessel").c_str(), 0700));
    Write(hostileConfig + "/tessel/registry.reg", std::string("not settings\n"));
    ASSERT_EQ(0, RunShell("XDG_CONFIG_HOME=\"$PWD/" + hostileConfig + "\" " TESSEL_BINARY " --info '" + file +
                          "' > /dev/null 2> err.txt")
                     .status);
    const std::string notice = Text(Path("err.txt"));
    EXPECT_NE(std::string::npos, notice.find("config?[41m/tessel/registry.reg")) << notice;
    EXPECT_EQ(std::string::npos, notice.find('\x1b')) << notice;
}

TEST_F(Cli, InfoOfFilesThatDoNotPlay)
{
    WriteTune("good.xm", "Good Tune", 2, 8);
    Write("notes.xm", std::string("these are notes, not a module\n"));

    // A failed file gets a record naming the failure, never fields left from another file.
    RunResult missing = Run({"--info", "missing.it"});
    EXPECT_EQ(1, missing.status);
    EXPECT_EQ("File: missing.it\nError: Cannot open module file; Can't load module\n\n", missing.out);
    // The plug-in's boxes, which would have waited for OK, are told on stderr.
    EXPECT_NE(std::string::npos, missing.err.find("Cannot open module file")) << missing.err;
    EXPECT_NE(std::string::npos, missing.err.find("Can't load module")) << missing.err;

    RunResult after = Run({"--info", "--json", "good.xm", "notes.xm", "missing.it"});
    EXPECT_EQ(1, after.status);
    EXPECT_EQ("{\"title\":\"Good Tune\",\"file\":\"good.xm\",\"channel\":\"4\","
              "\"sampleText\":\"Kick\\r\\nBass (saw)\\r\\nLead (pulse)\\r\\n\",\"message\":\"no message available\"" +
                  JsonFacts(1920, "FastTracker 2 v1.04", "FastTracker v2.00", ReadFile(Path("good.xm")).size()) +
                  "{\"file\":\"notes.xm\",\"error\":\"Can't load module\"}\n"
                  "{\"file\":\"missing.it\",\"error\":\"Cannot open module file; Can't load module\"}\n",
              after.out);

    // A folder holding one module, and a module beside an empty folder: answered as one file.
    ASSERT_EQ(0, mkdir(Path("one").c_str(), 0700));
    ASSERT_EQ(0, mkdir(Path("empty").c_str(), 0700));
    WriteTune("one/only.it", "Only", 1, 4);
    for (const std::vector<std::string> &arguments :
         {std::vector<std::string>{"--info", "one"}, {"--info", "good.xm", "empty/"}}) {
        RunResult result = Run(arguments);
        EXPECT_EQ(0, result.status) << arguments[1] << ": " << result.err;
        EXPECT_NE(std::string::npos, result.out.find("Title: ")) << arguments[1] << ": " << result.out;
    }
}

TEST_F(Cli, AFullOutputIsAnError)
{
    WriteTune("tune.xm", "Full", 1, 4);
    // A closed standard output is one that fails: nothing else opened takes its place.
    for (const char *arguments : {"--info tune.xm > /dev/full", "--info --json tune.xm > /dev/full",
                                  "--help > /dev/full", "--info tune.xm >&-", "-o - tune.xm >&-"}) {
        const int status = RunShell(std::string(TESSEL_BINARY " ") + arguments + " 2> err.txt").status;
        EXPECT_EQ(1, status) << arguments;
        const std::string err = Text(Path("err.txt"));
        EXPECT_NE(std::string::npos,
                  err.find(std::strstr(arguments, "&-") ? "standard output is closed" : "cannot write the output"))
            << arguments << ": " << err;
    }
}

TEST_F(Cli, SignalsEndABlockedWriteAndInheritedIgnoresStay)
{
    // Far more than a pipe holds: --info blocks in its write once the pipe is full.
    modwriter::Tune song = samplegen::TestSong("Blocked", 1, 4);
    song.message = std::string(7000, 'm');
    Write("long.it", modwriter::WriteIt(song));
    std::vector<std::string> arguments = {"--info"};
    for (int i = 0; i < 40; ++i)
        arguments.push_back("long.it");

    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        int out[2];
        ASSERT_EQ(0, pipe2(out, O_CLOEXEC));
        pid_t pid = Start(arguments, out[1]);
        close(out[1]);
        // Until the pipe is full and tessel waits in its write: what it holds stops growing.
        int available = 0, previous = -1, still = 0;
        for (int tries = 0; tries < 200 && still < 5; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ioctl(out[0], FIONREAD, &available);
            still = available > 32768 && available == previous ? still + 1 : 0;
            previous = available;
        }
        ASSERT_EQ(5, still) << "tessel did not fill the pipe: " << available << " bytes in it";
        kill(pid, signal);
        int waitStatus = 0;
        bool ended = false;
        for (int tries = 0; tries < 100 && !ended; ++tries) {
            ended = waitpid(pid, &waitStatus, WNOHANG) == pid;
            if (!ended)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!ended) {
            kill(pid, SIGKILL);
            waitpid(pid, &waitStatus, 0);
        }
        close(out[0]);
        EXPECT_TRUE(ended) << "signal " << signal << ": tessel still blocked after 5 s";
        EXPECT_TRUE(WIFSIGNALED(waitStatus) && WTERMSIG(waitStatus) == signal)
            << "signal " << signal << ": wait status " << waitStatus;
    }

    // A render: an OUT that was there stays byte for byte; a new one holds what was
    // rendered, in whole frames under a header that counts them.
    WriteLongRender();
    const std::string kept(100000, 'k');
    Write("keep.wav", kept);
    // (SIGINT is ignored in a background job of a shell without job control.)
    Interrupted existing = InterruptAfter("", "-o keep.wav long.xm", "0.5", "TERM");
    EXPECT_EQ(143, existing.status) << existing.err;
    EXPECT_TRUE(Text(Path("keep.wav")) == kept) << "keep.wav changed: " << existing.err;
    EXPECT_NE(std::string::npos, existing.err.find("keep.wav is left as it was")) << existing.err;
    Interrupted fresh = InterruptAfter("", "-o new.wav long.xm", "0.5", "HUP");
    EXPECT_EQ(129, fresh.status) << fresh.err;
    const testkit::Wav partial = ReadWav(Path("new.wav"));
    EXPECT_TRUE(partial.declaredBytes > 0 && partial.declaredBytes % 2 == 0)
        << partial.declaredBytes << " bytes of 8-bit stereo";
    EXPECT_NE(std::string::npos, fresh.err.find("new.wav holds what was rendered")) << fresh.err;
    // However early the signal, OUT is never emptied: one that was there stays, a new
    // one is there only with a whole frame in it.
    for (const char *delay : {"0", "0.01", "0.02", "0.04", "0.08"}) {
        Write("early.wav", kept);
        InterruptAfter("", "-o early.wav long.xm", delay, "TERM");
        EXPECT_TRUE(Text(Path("early.wav")) == kept) << "early.wav changed by a signal after " << delay << " s";
        InterruptAfter("", "-o early-new.wav long.xm", delay, "TERM");
        const bool made = Exists(Path("early-new.wav"));
        EXPECT_TRUE(!made || ReadWav(Path("early-new.wav")).declaredBytes > 0) << "empty after " << delay << " s";
        unlink(Path("early-new.wav").c_str());
    }
    // With stderr closed, what tessel says goes nowhere, never into the WAV.
    EXPECT_EQ(143, InterruptAfter("", "-o closed.wav long.xm 2>&-", "0.5", "TERM").status);
    ReadWav(Path("closed.wav"));
    // Killed outright, it leaves no file; what a dead render's new file left under its
    // process's name, a later render into that folder removes.
    pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    waitpid(dead, nullptr, 0);
    const std::string leftover = "old.wav.tessel-" + std::to_string(dead) + "-AbC123";
    Write(leftover, std::string("left by a dead render"));
    EXPECT_EQ(137, InterruptAfter("", "-o killed.wav long.xm", "0.5", "KILL").status);
    EXPECT_FALSE(Exists(Path("killed.wav")));
    EXPECT_EQ(0, Run({"-o", "small.wav", "--max-time", "0.1", "long.xm"}).status);
    EXPECT_NE(0, RunShell("ls -A | grep -q tessel-").status) << "a new file was left";
    // Where the file system takes no nameless file, the new file has a marked name: a kill
    // leaves it, and the next render into the folder, its owner gone, removes it.
    const std::string noNameless =
        "export LD_PRELOAD=" NO_NAMELESS_FILES " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0;";
    EXPECT_EQ(137, InterruptAfter(noNameless, "-o killed.wav long.xm", "0.5", "KILL").status);
    EXPECT_EQ(0, RunShell("ls -A | grep -q '^killed.wav.tessel-'").status) << "no marked file was made";
    EXPECT_EQ(0, RunShell(noNameless + " " TESSEL_BINARY " -o small.wav --max-time 0.1 long.xm").status);
    EXPECT_NE(0, RunShell("ls -A | grep -q tessel-").status) << "a marked file was left";
    EXPECT_GT(ReadWav(Path("small.wav")).declaredBytes, 0u);

    // Whatever tessel waits on, a reader that never reads among it, a signal ends it.
    Interrupted blocked = InterruptAfter("mkfifo ff; sleep 30 < ff & r=$!;", "-o ff long.xm", "0.5", "TERM");
    EXPECT_EQ(143, blocked.status) << blocked.err;
    EXPECT_LE(blocked.endedMs, 2000) << "ms from the signal to the end";
    Interrupted piped = InterruptAfter("mkfifo pp; sleep 30 < pp & r=$!;", "-o - long.xm > pp", "0.5", "HUP");
    EXPECT_EQ(129, piped.status) << piped.err;
    EXPECT_LE(piped.endedMs, 2000) << "ms from the signal to the end";

    // A signal inherited as ignored (nohup, a shell's background job) stays ignored.
    WriteTune("a.xm", "Ignored A", 2, 4); // about a second each in real time
    WriteTune("b.xm", "Ignored B", 2, 4);
    for (std::string signal : {"HUP", "INT"}) {
        std::string command = "(trap '' " + signal + "; exec " TESSEL_BINARY " --null a.xm b.xm > played.txt) & " +
                              "sleep 0.3; kill -" + signal + " $!; wait $!";
        EXPECT_EQ(0, RunShell(command).status) << signal;
        EXPECT_NE(std::string::npos, Text(Path("played.txt")).find("Playing b.xm")) << signal;
    }
}

// The "file" fields of --info --json's lines, in order.
std::vector<std::string> InfoFiles(const std::string &json)
{
    std::vector<std::string> files;
    const std::string key = "\"file\":\"";
    for (size_t at = json.find(key); at != std::string::npos; at = json.find(key, at + 1)) {
        size_t start = at + key.size();
        files.push_back(json.substr(start, json.find('"', start) - start));
    }
    return files;
}

TEST_F(Cli, FoldersAndPlaylistsPlayTheirModulesInNaturalOrder)
{
    std::string mods = Path("mods");
    ASSERT_EQ(0, mkdir(mods.c_str(), 0700));
    ASSERT_EQ(0, mkdir((mods + "/sub.xm").c_str(), 0700)); // a folder, whatever its name
    ASSERT_EQ(0, mkdir((mods + "/3_sub").c_str(), 0700));
    ASSERT_EQ(0, symlink(".", (mods + "/3_sub/self").c_str())); // a way round never ends the list
    WriteTune("mods/10_b.XM", "Second", 1, 4);
    WriteTune("mods/2_a.it", "First", 1, 4);
    WriteTune("mods/3_sub/x.xm", "Inside", 1, 4);
    Write("mods/readme.txt", std::string("not played\n"));
    Write("mods/c", std::string("no extension\n"));
    Write("mods/list.m3u", std::string("10_b.XM\n")); // a folder's playlists are not read

    RunResult result = Run({"--info", "--json", "mods"});
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_EQ((std::vector<std::string>{"mods/2_a.it", "mods/3_sub/x.xm", "mods/10_b.XM"}), InfoFiles(result.out))
        << result.out;

    // A playlist from elsewhere: a byte-order mark, CR LF, comments, names relative to
    // its folder, an absolute one, a folder, and a file that is not there.
    ASSERT_EQ(0, mkdir(Path("lists").c_str(), 0700));
    Write("lists/all.m3u8", "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:1,x\r\n../mods/10_b.XM\r\n\r\n" + mods +
                                "/2_a.it\r\n../mods/3_sub\r\n  # a note\r\ngone.xm\r\n");
    RunResult listed = Run({"--info", "--json", "lists/all.m3u8"});
    EXPECT_EQ(1, listed.status) << "one entry is not there\n" << listed.err;
    EXPECT_EQ((std::vector<std::string>{"lists/../mods/10_b.XM", mods + "/2_a.it", "lists/../mods/3_sub/x.xm",
                                        "lists/gone.xm"}),
              InfoFiles(listed.out))
        << listed.out;

    RunResult empty = Run({"--info", "config"});
    EXPECT_EQ(1, empty.status) << "a folder without modules leaves nothing to play";
}

TEST_F(Cli, RenderWritesAWavOfTheModulesLength)
{
    // 4 order positions of 8 rows at 0.12 s a row: 3.84 s.
    WriteTune("tune.xm", "Render", 4, 8);
    RunResult result = Run({"-o", "out.wav", "tune.xm"});
    ASSERT_EQ(0, result.status) << result.err;
    testkit::Wav wav = ReadWav(Path("out.wav"));
    EXPECT_EQ(2u, wav.channels);
    EXPECT_EQ(44100u, wav.rate);
    EXPECT_EQ(16u, wav.bits);
    // The module's 3.84 s, and the sound library's short fade-out after a song's end.
    EXPECT_GE(wav.Seconds(), 3.84) << "seconds of sound in out.wav";
    EXPECT_LE(wav.Seconds(), 3.84 + 0.15) << "seconds of sound in out.wav";
    EXPECT_NE(std::string::npos, result.out.find("tune.xm -> out.wav")) << result.out;

    // The settings decide the format: 22050 Hz, 8 bits.
    WriteSettings(-1, 22050, 0x01, 0x02);
    ASSERT_EQ(0, Run({"-o", "small.wav", "tune.xm"}).status);
    testkit::Wav small = ReadWav(Path("small.wav"));
    EXPECT_EQ(22050u, small.rate);
    EXPECT_EQ(8u, small.bits);
    EXPECT_GE(small.Seconds(), 3.84);
    EXPECT_LE(small.Seconds(), 3.84 + 0.15);
}

// Root mean square of both channels of a stereo WAV.
double WavRms(const testkit::Wav &wav)
{
    return std::sqrt((wav.Rms(0) * wav.Rms(0) + wav.Rms(1) * wav.Rms(1)) / 2);
}

// libopenmpt's own render of a whole module at 44100 Hz with its defaults, interleaved.
std::vector<float> ReferenceRender(const Bytes &module)
{
    openmpt::module reference(module);
    std::vector<float> sound;
    std::vector<float> buffer(2 * 4096);
    while (size_t frames = reference.read_interleaved_stereo(44100, 4096, buffer.data()))
        sound.insert(sound.end(), buffer.begin(), buffer.begin() + 2 * frames);
    return sound;
}

double ReferenceRms(const Bytes &module)
{
    std::vector<float> sound = ReferenceRender(module);
    double sum = std::inner_product(sound.begin(), sound.end(), sound.begin(), 0.0);
    return sound.empty() ? 0 : std::sqrt(sum / double(sound.size()));
}

TEST_F(Cli, RendersAreRepeatableAndAtFullLevel)
{
    std::string tune = WriteTune("tune.xm", "Level", 12, 8); // 11.5 s
    Bytes first;
    double level = 0;
    for (int run = 0; run < 3; ++run) {
        RunResult result = Run({"-o", "out.wav", "tune.xm"});
        ASSERT_EQ(0, result.status) << result.err;
        Bytes wav = ReadFile(Path("out.wav"));
        if (run == 0) {
            first = wav;
            level = WavRms(ReadWav(Path("out.wav")));
        } else
            EXPECT_TRUE(wav == first) << "render " << run + 1 << " differs from the first";
    }
    // The host's full volume (255) gives the plug-in's 99 of 100.
    double expected = ReferenceRms(ReadFile(tune));
    ASSERT_GT(expected, 0.01);
    EXPECT_NEAR(1.0, level / expected, 0.015) << "level against libopenmpt's own render";
}

TEST_F(Cli, RenderIntoAFullDiskFailsAndLeavesNoWav)
{
    WriteTune("long.xm", "Long", 16, 64); // about 10 MB of sound
    RunResult result = RunWithFileSizeLimit({"-o", "full.wav", "long.xm"});
    EXPECT_EQ(1, result.status) << result.out;
    EXPECT_NE(std::string::npos, result.err.find("full.wav")) << result.err;
    EXPECT_FALSE(Exists(Path("full.wav"))) << "expected the partial WAV removed";
    // A file that was there stays as it was, and the new file beside it goes.
    Write("kept.wav", std::string("old"));
    EXPECT_EQ(1, RunWithFileSizeLimit({"-o", "kept.wav", "long.xm"}).status);
    EXPECT_EQ("old", Text(Path("kept.wav")));
    for (const auto &entry : std::filesystem::directory_iterator(Folder()))
        EXPECT_NE(0u, entry.path().filename().string().rfind("tessel-", 0)) << "a new file was left: " << entry.path();
}

TEST_F(Cli, PlayerReportsAnOutputThatFailsDuringPlayback)
{
    // The player's output as any host may pick it: a WAV that hits the file-size limit
    // partway, which the sound library keeps as its output's error.
    WriteTune("long.xm", "Long", 16, 64);
    setenv("TESSEL_OUTPUT", ("wav:" + Path("played.wav")).c_str(), 1);
    RunResult result = RunWithFileSizeLimit({"long.xm"});
    unsetenv("TESSEL_OUTPUT");
    EXPECT_EQ(1, result.status) << result.out << result.err;
    EXPECT_NE(std::string::npos, result.err.find("output failed while playing long.xm")) << result.err;
}

TEST_F(Cli, RenderSeveralFilesIntoAFolder)
{
    WriteTune("a.xm", "A", 2, 4);
    WriteTune("b.it", "B", 3, 4);
    std::string other = Path("other");
    ASSERT_EQ(0, mkdir(other.c_str(), 0700));
    WriteTune("other/a.it", "Another A", 1, 4);

    RunResult result = Run({"-o", "wavs", "a.xm", "missing.xm", "b.it", "other/a.it"});
    EXPECT_EQ(1, result.status) << "one file did not play";
    EXPECT_NEAR(0.96, ReadWav(Path("wavs/a.wav")).Seconds(), 0.2);
    EXPECT_NEAR(1.44, ReadWav(Path("wavs/b.wav")).Seconds(), 0.2);
    // A second a.* gets a name of its own rather than overwriting the first.
    EXPECT_NEAR(0.48, ReadWav(Path("wavs/a-2.wav")).Seconds(), 0.2);
    EXPECT_FALSE(Exists(Path("wavs/missing.wav"))) << "a file that did not play leaves no WAV behind";
    EXPECT_NE(std::string::npos, result.err.find("tessel: missing.xm did not play: No such file or directory\n"))
        << result.err;

    // With several files, -o names a folder: an existing file will not do.
    Write("taken", std::string("x"));
    EXPECT_EQ(2, Run({"-o", "taken", "a.xm", "b.it"}).status);
    // One file and an existing folder: the WAV goes into it.
    EXPECT_EQ(0, Run({"-o", "other", "a.xm"}).status);
    EXPECT_NEAR(0.96, ReadWav(Path("other/a.wav")).Seconds(), 0.2);
    // A WAV that cannot be written is said so, before anything plays.
    RunResult unwritable = Run({"-o", "no/such/folder.wav", "a.xm"});
    EXPECT_EQ(1, unwritable.status);
    EXPECT_NE(std::string::npos, unwritable.err.find("cannot write no/such/folder.wav")) << unwritable.err;
}

TEST_F(Cli, RenderNeverLosesAFile)
{
    std::string tune = WriteTune("tune.xm", "Rules", 2, 8);
    const Bytes module = ReadFile(tune);
    // An output that is one of the inputs, by any name: refused before anything is written.
    ASSERT_EQ(0, symlink("tune.xm", Path("alias.wav").c_str()));
    EXPECT_EQ(2, Run({"-o", "alias.wav", "tune.xm"}).status);
    EXPECT_TRUE(ReadFile(tune) == module) << "the input was written over";
    // A render that fails leaves OUT as it was; a link is written through to its target.
    // FLAC keeps the same rules.
    for (const char *name : {"notes.wav", "notes.flac"}) {
        Write(name, std::string("precious"));
        EXPECT_EQ(1, Run({"-o", name, "missing.xm"}).status);
        EXPECT_EQ("precious", Text(Path(name))) << name;
    }
    Write("target.wav", std::string("old"));
    ASSERT_EQ(0, symlink("target.wav", Path("link.wav").c_str()));
    ASSERT_EQ(0, Run({"-o", "link.wav", "tune.xm"}).status);
    struct stat link {};
    EXPECT_TRUE(lstat(Path("link.wav").c_str(), &link) == 0 && S_ISLNK(link.st_mode)) << "the link stays a link";
    const uint32_t dataBytes = ReadWav(Path("target.wav")).declaredBytes;

    // A FIFO, "-" and a link like /dev/stdout (its own, so a fault cannot replace the
    // system's) into a pipe get a stream that sox reads to its end, without a warning; the
    // FIFO stays a FIFO. "-" into a file gets its sizes patched.
    ASSERT_EQ(0, mkfifo(Path("fifo").c_str(), 0600));
    ASSERT_EQ(0, symlink("/proc/self/fd/1", Path("stdout").c_str()));
    const std::string tessel = "timeout 30 " TESSEL_BINARY " 2>/dev/null -o ";
    auto sox = [](const std::string &from) { return "timeout 30 sox -t wav " + from + " -n stat 2> sox.txt"; };
    for (const std::string &command : {sox("fifo") + " & " + tessel + "fifo tune.xm && wait $!",
                                       tessel + "- tune.xm | " + sox("-"), tessel + "stdout tune.xm | " + sox("-")}) {
        EXPECT_EQ(0, RunShell(command).status) << command;
        std::string report = Text(Path("sox.txt"));
        size_t samples = report.find("Samples read:");
        EXPECT_EQ(dataBytes / 2, samples == std::string::npos ? 0 : std::strtoul(&report[samples + 13], nullptr, 10))
            << command << "\n"
            << report;
        EXPECT_EQ(std::string::npos, report.find("WARN")) << command << "\n" << report;
    }
    EXPECT_TRUE(lstat(Path("fifo").c_str(), &link) == 0 && S_ISFIFO(link.st_mode)) << "the FIFO was removed";
    ASSERT_EQ(0, RunShell(tessel + "- tune.xm > stdout.wav").status);
    EXPECT_EQ(dataBytes, ReadWav(Path("stdout.wav")).declaredBytes);
    // /dev/stdout is "-": appended where the shell appends. A terminal gets no WAV.
    Write("log.txt", std::string("log\n"));
    ASSERT_EQ(0, RunShell(tessel + "/dev/stdout tune.xm >> log.txt").status);
    EXPECT_EQ("log\nRIFF", Text(Path("log.txt")).substr(0, 8)) << "log.txt was not appended to";
    EXPECT_EQ(2, RunShell("script -qec '" + tessel + "- tune.xm' /dev/null > /dev/null").status);

    // OUT is refused where a shell's redirection is refused, with its reason: a loop of
    // links, a file its user may not write; a writable OUT in a folder that takes no
    // new file is refused naming the folder.
    ASSERT_EQ(0, symlink("loop-b", Path("loop-a").c_str()));
    ASSERT_EQ(0, symlink("loop-a", Path("loop-b").c_str()));
    RunResult loop = Run({"-o", "loop-a", "tune.xm"});
    EXPECT_EQ(1, loop.status);
    EXPECT_NE(std::string::npos, loop.err.find(std::strerror(ELOOP))) << loop.err;
    EXPECT_TRUE(lstat(Path("loop-a").c_str(), &link) == 0 && S_ISLNK(link.st_mode)) << "the link was replaced";
    if (geteuid() != 0)
        GTEST_SKIP() << "the unwritable cases need root, to run tessel as another user";
    ASSERT_EQ(0, chmod(Folder().c_str(), 0777));
    ASSERT_EQ(0, mkdir(Path("shut").c_str(), 0755));
    Write("ro.wav", std::string("read-only"));
    Write("shut/open.wav", std::string("writable"));
    ASSERT_EQ(0, chmod(Path("ro.wav").c_str(), 0444));
    ASSERT_EQ(0, chmod(Path("shut/open.wav").c_str(), 0666));
    ASSERT_EQ(0, chmod(ConfigHome().c_str(), 0777));
    const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups " + tessel;
    for (const std::string out : {"ro.wav", "shut/open.wav"}) {
        std::string command = nobody + "'" + out + "' tune.xm 2>/dev/null; echo $? > status.txt; " + nobody + "'" +
                              out + "' tune.xm 2>&1 >/dev/null | cat > err.txt";
        RunShell(command);
        EXPECT_EQ("1\n", Text(Path("status.txt"))) << out;
        const std::string err = Text(Path("err.txt"));
        EXPECT_NE(std::string::npos, err.find(std::strerror(EACCES))) << out << ": " << err;
        EXPECT_NE(std::string::npos, err.find(out == "ro.wav" ? "cannot write ro.wav" : "its folder")) << err;
    }
    EXPECT_EQ("read-only", Text(Path("ro.wav")));
    EXPECT_EQ("writable", Text(Path("shut/open.wav")));
}

TEST_F(Cli, RenderEndsALoopingModule)
{
    WriteTune("loop.xm", "Loop", 3, 8); // 2.88 s a pass
    WriteSettings(-1, 44100, 0, 0x02 | 0x04);
    RunResult result = Run({"-o", "loop.wav", "loop.xm"});
    EXPECT_EQ(0, result.status) << result.err;
    double seconds = ReadWav(Path("loop.wav")).Seconds();
    EXPECT_NEAR(2.88, seconds, 0.01) << "one pass through the module";
    EXPECT_NE(std::string::npos, result.out.find("ended where it loops")) << result.out;

    // --max-time cuts it earlier.
    RunResult cut = Run({"-o", "cut.wav", "--max-time", "1", "loop.xm"});
    EXPECT_EQ(0, cut.status) << cut.err;
    EXPECT_NEAR(1.0, ReadWav(Path("cut.wav")).Seconds(), 0.001);
    EXPECT_NE(std::string::npos, cut.out.find("cut at --max-time")) << cut.out;
}

TEST_F(Cli, DevicesListsTheDefaultDeviceFirstAsTheSettingNumbersIt)
{
    RunResult result = Run({"--devices"});
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_EQ(0u, result.out.rfind("-1: Default Device\n", 0)) << result.out;
}

TEST_F(Cli, NullOutputPlaysThroughWithoutATerminal)
{
    WriteTune("a.xm", "Quick A", 2, 4); // 0.96 s each
    WriteTune("b.it", "Quick B", 2, 4);
    auto start = std::chrono::steady_clock::now();
    RunResult result = Run({"--null", "a.xm", "b.it"});
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("Playing a.xm (Quick A): 4 channels, 44 kHz, stereo")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("Playing b.it (Quick B)")) << result.out;
    // The length and the rate the output really uses.
    EXPECT_NE(std::string::npos, result.out.find("0:00, output at 44100 Hz\n")) << result.out;
    EXPECT_GE(elapsed, 1.8) << "the null output plays in real time";

    // --loop: each module again, the next only after; a missing file says why.
    RunResult looped = Run({"--null", "--loop", "1", "a.xm", "gone.xm", "b.it"});
    EXPECT_EQ(1, looped.status) << looped.err;
    size_t a1 = looped.out.find("Playing a.xm"), a2 = looped.out.find("Playing a.xm", a1 + 1);
    size_t b1 = looped.out.find("Playing b.it"), b2 = looped.out.find("Playing b.it", b1 + 1);
    EXPECT_TRUE(a1 < a2 && a2 < b1 && b1 < b2 && b2 != std::string::npos) << looped.out;
    EXPECT_NE(std::string::npos, looped.out.find("output at 44100 Hz, pass 2 of 2\n")) << looped.out;
    EXPECT_NE(std::string::npos, looped.err.find("tessel: gone.xm did not play: No such file or directory\n"))
        << looped.err;
}

TEST_F(Cli, ShuffleAndRepeatPlayEveryFileOncePerPass)
{
    std::vector<std::string> files;
    for (int i = 1; i <= 8; ++i) {
        files.push_back("s" + std::to_string(i) + ".xm");
        WriteTune(files.back(), "S", 1, 1);
    }
    std::vector<std::string> arguments = {"--null", "--shuffle", "--repeat"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    int pipe[2];
    ASSERT_EQ(0, ::pipe(pipe));
    pid_t pid = Start(arguments, pipe[1]);
    close(pipe[1]);
    // Two passes, each every file once, read as the player prints them.
    std::vector<std::vector<std::string>> passes(2);
    std::string pending;
    char buffer[4096];
    ssize_t got = 0;
    while (passes[1].size() < files.size() && (got = read(pipe[0], buffer, sizeof buffer)) > 0) {
        pending.append(buffer, size_t(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            std::string line = pending.substr(0, end);
            auto &pass = passes[0].size() < files.size() ? passes[0] : passes[1];
            if (line.rfind("Playing ", 0) == 0 && pass.size() < files.size())
                pass.push_back(line.substr(8, line.find(' ', 8) - 8));
        }
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    close(pipe[0]);
    for (auto &pass : passes) {
        std::vector<std::string> sorted = pass;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(files, sorted) << "a pass plays every file once";
    }
    // 1 in 40320 to fail by chance.
    EXPECT_NE(files, passes[0]) << "the first pass in the order given";

    // A repeated list where nothing plays ends rather than fail for ever.
    RunResult none = Run({"--null", "--repeat", "gone1.xm", "gone2.xm"});
    EXPECT_EQ(1, none.status) << none.err;
    size_t failures = 0;
    for (size_t at = none.err.find("did not play"); at != std::string::npos; at = none.err.find("did not play", at + 1))
        ++failures;
    EXPECT_EQ(2u, failures) << none.err;
}

// Pearson correlation of a 16-bit stereo WAV's samples with a float render, over the
// frames both have.
double Correlation(const Bytes &wav, const std::vector<float> &reference)
{
    size_t count = std::min((wav.size() - 44) / 2, reference.size());
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (size_t i = 0; i < count; ++i) {
        double a = int16_t(wav[44 + 2 * i] | wav[45 + 2 * i] << 8), b = reference[i];
        sa += a, sb += b, saa += a * a, sbb += b * b, sab += a * b;
    }
    double n = double(count);
    double denominator = std::sqrt((n * saa - sa * sa) * (n * sbb - sb * sb));
    return denominator > 0 ? (n * sab - sa * sb) / denominator : 0;
}

TEST_F(Cli, ModulesOfSeveralSubsongs)
{
    // Orders 0-1 (1.92 s), then orders 2-4 (2.88 s).
    std::string module = WriteSubsongs("subs.xm", 8);
    // --info tells them beside the dialog's fields.
    RunResult info = Run({"--info", "subs.xm"});
    ASSERT_EQ(0, info.status) << info.err;
    EXPECT_NE(std::string::npos, info.out.find("Duration: 0:04.8\nSubsongs: 2\n  1: order 0, 0:01.9\n"
                                               "  2: order 2, 0:02.9\nFormat: FastTracker 2"))
        << info.out;
    EXPECT_NE(std::string::npos, info.out.find("\nSize: " + std::to_string(ReadFile(module).size()) + " bytes\n"))
        << info.out;
    RunResult json = Run({"--info", "--json", "subs.xm"});
    EXPECT_NE(std::string::npos,
              json.out.find(",\"durationMs\":4800,\"subsongs\":[{\"startOrder\":0,\"durationMs\":1920},"
                            "{\"startOrder\":2,\"durationMs\":2880}],\"format\":"))
        << json.out;

    // An IT of two songs, each closed by an end marker: the second lies past the length.
    modwriter::Tune marked = samplegen::TestSong("Marked", 5, 8);
    marked.song.orders = {0, 1, modwriter::kOrderEnd, 2, 3, 4};
    Write("marked.it", modwriter::WriteIt(marked));

    // Each subsong renders as libopenmpt renders it chosen, in length and in sound.
    for (auto [file, subsong] : {std::pair{"subs.xm", 1}, std::pair{"subs.xm", 2}, std::pair{"marked.it", 2}}) {
        SCOPED_TRACE(std::string(file) + " subsong " + std::to_string(subsong));
        RunResult render = Run({"-o", "sub.wav", "--subsong", std::to_string(subsong), file});
        ASSERT_EQ(0, render.status) << render.err;
        openmpt::module reference(ReadFile(Path(file)));
        reference.select_subsong(subsong - 1);
        std::vector<float> sound, buffer(2 * 4096);
        while (size_t frames = reference.read_interleaved_stereo(44100, 4096, buffer.data()))
            sound.insert(sound.end(), buffer.begin(), buffer.begin() + 2 * frames);
        Bytes wav = ReadFile(Path("sub.wav"));
        EXPECT_NEAR(double(sound.size()) / 2 / 44100, ReadWav(Path("sub.wav")).Seconds(), 1.0) << "seconds";
        EXPECT_GE(Correlation(wav, sound), 0.99) << "correlation with libopenmpt's render of the subsong";
    }
    RunResult missing = Run({"-o", "none.wav", "--subsong", "3", "subs.xm"});
    EXPECT_EQ(1, missing.status);
    EXPECT_NE(std::string::npos, missing.err.find("subs.xm has no subsong 3 (it has 2)")) << missing.err;
    EXPECT_FALSE(Exists(Path("none.wav")));
    EXPECT_EQ(2, Run({"--subsong", "0", "subs.xm"}).status);
    EXPECT_EQ(2, Run({"--info", "--subsong", "1", "subs.xm"}).status);

    // Played, each subsong is an entry of the playlist; --subsong plays one.
    RunResult played = Run({"--null", "subs.xm"});
    EXPECT_EQ(0, played.status) << played.err;
    size_t first = played.out.find("Playing subs.xm #1/2 "), second = played.out.find("Playing subs.xm #2/2 ");
    EXPECT_TRUE(first < second && second != std::string::npos) << played.out;
    // Each with its own length: 1.92 s, then 2.88 s.
    EXPECT_NE(std::string::npos, played.out.find("positions, 0:01, output", first)) << played.out;
    EXPECT_NE(std::string::npos, played.out.find("positions, 0:02, output", second)) << played.out;
    RunResult one = Run({"--null", "--subsong", "2", "subs.xm"});
    EXPECT_EQ(0, one.status) << one.err;
    EXPECT_EQ(std::string::npos, one.out.find("#1/2")) << one.out;
    EXPECT_NE(std::string::npos, one.out.find("Playing subs.xm #2/2 ")) << one.out;
    RunResult later = Run({"--null", "--subsong", "2", "marked.it"}); // past the end marker
    EXPECT_EQ(0, later.status) << later.err;
    EXPECT_NE(std::string::npos, later.out.find("Playing marked.it #2/2 ")) << later.out;
}

TEST_F(Cli, RenderToFlacHoldsTheWavsSamples)
{
    // The samples of a FLAC file as sox decodes them: signed 16-bit or 8-bit, little-endian.
    auto flacSamples = [&](const std::string &flac, int bits) {
        std::string command = "sox -V1 " + flac + " -t raw -e signed -b " + std::to_string(bits) + " decoded.raw";
        EXPECT_EQ(0, RunShell(command).status) << command;
        return ReadFile(Path("decoded.raw"));
    };
    WriteTune("tune.xm", "Lossless", 4, 8);
    ASSERT_EQ(0, Run({"-o", "tune.wav", "tune.xm"}).status);
    RunResult result = Run({"-o", "tune.flac", "tune.xm"});
    ASSERT_EQ(0, result.status) << result.err;
    EXPECT_EQ(0, std::memcmp(ReadFile(Path("tune.flac")).data(), "fLaC", 4)) << "expected a FLAC signature";
    Bytes wav = ReadFile(Path("tune.wav"));
    EXPECT_TRUE(flacSamples("tune.flac", 16) == Bytes(wav.begin() + 44, wav.end()))
        << "the FLAC's samples differ from the WAV's";

    // 8 bits: WAV's unsigned bytes are FLAC's signed samples.
    WriteSettings(-1, 22050, 0x01, 0x02);
    ASSERT_EQ(0, Run({"-o", "small.wav", "tune.xm"}).status);
    ASSERT_EQ(0, Run({"-o", "SMALL.FLAC", "tune.xm"}).status);
    Bytes small = ReadFile(Path("small.wav"));
    Bytes expected;
    for (size_t i = 44; i < small.size(); ++i)
        expected.push_back(uint8_t(small[i] - 128));
    EXPECT_TRUE(flacSamples("SMALL.FLAC", 8) == expected) << "the 8-bit FLAC's samples differ";

    // Any other extension is bad usage that names the formats, and writes nothing.
    RunResult other = Run({"-o", "tune.ogg", "tune.xm"});
    EXPECT_EQ(2, other.status);
    EXPECT_NE(std::string::npos, other.err.find("-o writes WAV (NAME.wav) or FLAC (NAME.flac), not 'tune.ogg'"))
        << other.err;
    EXPECT_FALSE(Exists(Path("tune.ogg")));
}

TEST_F(Cli, SamplesAreTheGeneratorsOutputAndPlay)
{
    std::string generated = Path("generated");
    ASSERT_EQ(0, mkdir(generated.c_str(), 0700));
    RunResult made = RunShell(std::string(SAMPLEGEN_BINARY " '") + generated + "'");
    ASSERT_EQ(0, made.status) << made.err;
    for (const char *name : {"demo.xm", "demo.it", "demo-mp3.mo3", "demo-vorbis.mo3"}) {
        Bytes fresh = ReadFile(generated + "/" + name);
        Bytes kept = ReadFile(std::string(SAMPLES_DIR) + "/" + name);
        EXPECT_FALSE(kept.empty()) << name;
        EXPECT_TRUE(fresh == kept) << "samples/" << name << " is not what tessel-samplegen writes";
    }

    RunResult result =
        Run({"-o", "demo", std::string(SAMPLES_DIR) + "/demo.xm", std::string(SAMPLES_DIR) + "/demo.it"});
    ASSERT_EQ(0, result.status) << result.err;
    for (const char *wav : {"demo/demo.wav", "demo/demo-2.wav"}) {
        double seconds = ReadWav(Path(wav)).Seconds();
        EXPECT_GE(seconds, 30.0) << wav << ": the demo tune lasts at least half a minute";
        EXPECT_NEAR(46.1, seconds, 0.5) << wav;
    }
    RunResult info = Run({"--info", std::string(SAMPLES_DIR) + "/demo.it"});
    EXPECT_NE(std::string::npos, info.out.find("Title: Tessel Demo Tune (IT)")) << info.out;
    EXPECT_NE(std::string::npos, info.out.find("Message:\n  Tessel demo module\n")) << info.out;

    // The MO3 demos (MP3 and Vorbis samples) render as libopenmpt's defaults render them,
    // at the plug-in's 99 of 100: the same length, every sample within 2 LSB.
    WriteSettings(-1, 44100, 0, 0x02);
    for (const char *name : {"demo-mp3.mo3", "demo-vorbis.mo3"}) {
        SCOPED_TRACE(name);
        std::string module = std::string(SAMPLES_DIR) + "/" + name;
        RunResult render = Run({"-o", "mo3.wav", module});
        ASSERT_EQ(0, render.status) << render.err;
        testkit::Wav wav = ReadWav(Path("mo3.wav"));
        std::vector<float> reference = ReferenceRender(ReadFile(module));
        ASSERT_EQ(reference.size(), wav.samples.size()) << "expected the length of libopenmpt's render";
        double worst = 0;
        for (size_t i = 0; i < reference.size(); ++i)
            worst = std::max(worst, std::fabs(0.99 * reference[i] * 32768 - wav.samples[i] * 32768.0));
        // libopenmpt's own 16-bit rounding, then ours after the volume.
        EXPECT_LE(worst, 2.0) << "the sample furthest from libopenmpt's, in LSB";
        EXPECT_GT(WavRms(wav), 0.05) << "expected sound";
    }
}

} // namespace
} // namespace hosttest
