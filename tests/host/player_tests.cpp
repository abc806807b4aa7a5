// The player end to end in a pseudo-terminal (tmux): the screen, the keys, the
// dialogs drawn from the plug-in's templates, message boxes, the end of each module,
// and the terminal given back after q, Ctrl-C and a closed terminal.
#include "host_support.h"

#include "songs.h"
#include "tests/fixtures/fixture_folder.h"

#include <signal.h>

#include <fstream>
#include <thread>

namespace hosttest {
namespace {

using namespace std::chrono_literals;

class Player : public HostTest {
protected:
    std::unique_ptr<Terminal> Start(const std::vector<std::string> &arguments, int width = 120, int height = 40,
                                    const std::string &locale = "C.UTF-8")
    {
        std::vector<std::string> all = {"--null"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return std::make_unique<Terminal>(Folder(), ConfigHome(), all, width, height, locale);
    }
};

// A process that still runs; a zombie nobody reaped has ended.
bool Running(int pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidField, name, state;
    if (!(stat >> pidField >> name >> state))
        return false;
    return state != "Z" && state != "X";
}

// What the shell found after tessel ended: canonical input, echo and signals back on.
void ExpectTerminalRestored(Terminal &terminal)
{
    EXPECT_TRUE(terminal.WaitFor("terminal:")) << terminal.LastScreen();
    std::string line = ScreenLine(terminal.LastScreen(), "terminal:");
    EXPECT_EQ("terminal:isig icanon echo", line.substr(0, line.find_last_not_of(' ') + 1)) << terminal.LastScreen();
    // The player's screen was an alternate one and is gone.
    EXPECT_EQ(std::string::npos, terminal.LastScreen().find("Position")) << terminal.LastScreen();
}

TEST_F(Player, ScreenShowsTitleStreamTimeAndLevelsThenQuits)
{
    WriteTune("tune.xm", "Screen Tune", 8, 8); // 0.96 s an order position, 7.68 s in all
    auto terminal = Start({"tune.xm"}, 80, 24);
    ASSERT_TRUE(terminal->WaitFor("Screen Tune")) << terminal->LastScreen();
    std::string screen = terminal->LastScreen();
    EXPECT_NE(std::string::npos, ScreenLine(screen, "Title").find("Screen Tune")) << screen;
    EXPECT_NE(std::string::npos, ScreenLine(screen, "File").find("tune.xm")) << screen;
    EXPECT_NE(std::string::npos, ScreenLine(screen, "Stream").find("4 channels, 44 kHz, stereo, output at 44100 Hz"))
        << screen;
    EXPECT_NE(std::string::npos, ScreenLine(screen, "State").find("playing")) << screen;
    EXPECT_NE(std::string::npos, ScreenLine(screen, "Position").find("/ 8")) << screen;
    EXPECT_NE(std::string::npos, ScreenLine(screen, "Volume").find("100%")) << screen;
    // Every key fits the 80 columns.
    EXPECT_NE(std::string::npos, screen.find("n/p entry  </> subsong  q quit")) << screen;
    EXPECT_NE(std::string::npos, screen.find("Home/End first/last  i info  c configuration")) << screen;

    // Time, order position, row and levels move on by themselves, and the bar with them.
    ASSERT_TRUE(terminal->WaitFor([](const std::string &s) { return ShownPosition(s) >= 2; }))
        << terminal->LastScreen();
    screen = terminal->LastScreen();
    std::string time = ScreenLine(screen, "Time");
    int minutes = -1, seconds = -1, totalMinutes = -1, totalSeconds = -1;
    ASSERT_EQ(4, std::sscanf(time.c_str(), " Time %d:%d / %d:%d", &minutes, &seconds, &totalMinutes, &totalSeconds))
        << screen;
    EXPECT_EQ(0, totalMinutes);
    EXPECT_EQ(7, totalSeconds) << screen;
    EXPECT_GE(seconds, 1) << "two order positions are nearly two seconds\n" << screen;
    EXPECT_NE(std::string::npos, time.find("[#####")) << screen;
    int row = -1;
    std::string position = ScreenLine(screen, "Position");
    EXPECT_EQ(1, std::sscanf(position.substr(position.find("row")).c_str(), "row %d", &row)) << screen;
    EXPECT_TRUE(row >= 0 && row < 8) << screen;
    EXPECT_TRUE(terminal->WaitFor([](const std::string &s) {
        std::string level = ScreenLine(s, "Level");
        return level.find("L [|") != std::string::npos && level.find("R [|") != std::string::npos;
    })) << "the tune is heard in both channels\n"
        << terminal->LastScreen();

    // The Module Info dialog squeezed into 80 columns keeps its labels whole.
    terminal->Keys({"i"});
    ASSERT_TRUE(terminal->WaitFor("Module Info")) << terminal->LastScreen();
    for (const char *shown : {"Title Screen Tune", "Channel 4", "File tune.xm"})
        EXPECT_NE(std::string::npos, terminal->LastScreen().find(shown)) << shown << "\n" << terminal->LastScreen();
    terminal->Keys({"Escape", "q"});
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();
    ExpectTerminalRestored(*terminal);
}

TEST_F(Player, SpacePausesAndResumes)
{
    WriteTune("tune.xm", "Pause Tune", 8, 8); // 0.96 s an order position
    auto terminal = Start({"tune.xm"});
    ASSERT_TRUE(terminal->WaitFor("Pause Tune")) << terminal->LastScreen();
    auto state = [](const char *word) {
        return [word](const std::string &s) { return ScreenLine(s, "State").find(word) != std::string::npos; };
    };

    terminal->Keys({"Space"});
    ASSERT_TRUE(terminal->WaitFor(state("paused"))) << terminal->LastScreen();
    int paused = ShownPosition(terminal->LastScreen());
    std::this_thread::sleep_for(2500ms); // more than two order positions of playing
    EXPECT_EQ(paused, ShownPosition(terminal->Screen())) << "the position stands still while paused";

    terminal->Keys({"Space"});
    ASSERT_TRUE(terminal->WaitFor(state("playing"))) << terminal->LastScreen();
    EXPECT_TRUE(terminal->WaitFor([&](const std::string &s) { return ShownPosition(s) > paused; }, 3s))
        << "the position moves on after resuming\n"
        << terminal->LastScreen();
    terminal->Keys({"q"});
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();
}

TEST_F(Player, ArrowsSeekAndChangeTheVolume)
{
    // 7.68 s an order position: within the test only the keys move the position.
    WriteTune("tune.xm", "Seek Tune", 8, 64);
    auto terminal = Start({"tune.xm"});
    ASSERT_TRUE(terminal->WaitFor("Seek Tune")) << terminal->LastScreen();
    auto at = [](int position) { return [position](const std::string &s) { return ShownPosition(s) == position; }; };

    terminal->Keys({"Right", "Right", "Right"});
    ASSERT_TRUE(terminal->WaitFor(at(3), 5s)) << terminal->LastScreen();
    terminal->Keys({"Left"});
    ASSERT_TRUE(terminal->WaitFor(at(2), 5s)) << terminal->LastScreen();
    // Where the music is heard now, not just where the player sent it.
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(2, ShownPosition(terminal->Screen()));
    terminal->Keys({"Left", "Left", "Left"}); // not before the first
    ASSERT_TRUE(terminal->WaitFor(at(0), 5s)) << terminal->LastScreen();

    terminal->Keys({"Down", "Down"});
    ASSERT_TRUE(terminal->WaitFor([](const std::string &s) {
        return ScreenLine(s, "Volume").find(" 87%") != std::string::npos;
    })) << terminal->LastScreen();
    terminal->Keys({"Up"});
    ASSERT_TRUE(terminal->WaitFor([](const std::string &s) {
        return ScreenLine(s, "Volume").find(" 94%") != std::string::npos;
    })) << terminal->LastScreen();

    terminal->Keys({"q"});
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();
}

TEST_F(Player, EachModuleEndsIntoTheNextAndTheLastEndsThePlayer)
{
    WriteTune("one.xm", "Tune One", 2, 4); // about a second each
    WriteTune("two.it", "Tune Two", 2, 4);
    auto terminal = Start({"one.xm", "two.it"});
    ASSERT_TRUE(terminal->WaitFor("Tune One")) << terminal->LastScreen();
    ASSERT_TRUE(terminal->WaitFor([](const std::string &s) {
        return ScreenLine(s, "Title").find("Tune Two") != std::string::npos;
    })) << terminal->LastScreen();
    EXPECT_NE(std::string::npos, terminal->LastScreen().find("file 2 of 2")) << terminal->LastScreen();
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();
    ExpectTerminalRestored(*terminal);
}

TEST_F(Player, NextPreviousAndJumpKeys)
{
    WriteTune("a.xm", "Long A", 8, 32);
    WriteTune("b.xm", "Long B", 8, 32);
    WriteTune("c.xm", "Long C", 8, 32);
    auto terminal = Start({"a.xm", "b.xm", "c.xm"});
    auto title = [](const std::string &name) {
        return [name](const std::string &s) { return ScreenLine(s, "Title").find(name) != std::string::npos; };
    };
    ASSERT_TRUE(terminal->WaitFor(title("Long A"))) << terminal->LastScreen();
    terminal->Keys({"n"});
    ASSERT_TRUE(terminal->WaitFor(title("Long B"))) << terminal->LastScreen();
    terminal->Keys({"p"});
    ASSERT_TRUE(terminal->WaitFor(title("Long A"))) << terminal->LastScreen();
    terminal->Keys({"End"});
    ASSERT_TRUE(terminal->WaitFor(title("Long C"))) << terminal->LastScreen();
    terminal->Keys({"Home"});
    ASSERT_TRUE(terminal->WaitFor(title("Long A"))) << terminal->LastScreen();
    terminal->Keys({"2"});
    ASSERT_TRUE(terminal->WaitFor("Go to entry 2")) << terminal->LastScreen();
    terminal->Keys({"Enter"});
    ASSERT_TRUE(terminal->WaitFor(title("Long B"))) << terminal->LastScreen();
    // Digits forgotten with Escape, and an entry that is not there, go nowhere.
    terminal->Keys({"3", "Escape", "9", "Enter", "1"});
    ASSERT_TRUE(terminal->WaitFor("Go to entry 1")) << terminal->LastScreen();
    EXPECT_NE(std::string::npos, ScreenLine(terminal->LastScreen(), "Title").find("Long B")) << terminal->LastScreen();
    terminal->Keys({"Enter"});
    ASSERT_TRUE(terminal->WaitFor(title("Long A"))) << terminal->LastScreen();
    terminal->Keys({"End", "n"}); // past the last file: the player is done
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();
}

TEST_F(Player, SubsongsAreEntriesThatAngleBracketsMoveBetween)
{
    WriteSubsongs("subs.xm", 64); // 15 s and 23 s: only the keys move on
    auto terminal = Start({"subs.xm"});
    auto file = [](const std::string &name) {
        return [name](const std::string &s) { return ScreenLine(s, "File").find(name) != std::string::npos; };
    };
    ASSERT_TRUE(terminal->WaitFor(file("subs.xm #1/2"))) << terminal->LastScreen();
    EXPECT_TRUE(terminal->WaitFor("2. Subsongs #2/2")) << terminal->LastScreen();
    terminal->Keys({">"});
    ASSERT_TRUE(terminal->WaitFor(file("subs.xm #2/2"))) << terminal->LastScreen();
    // Heard from the subsong's start, and never sought before it.
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(2, ShownPosition(terminal->Screen())) << terminal->Screen();
    terminal->Keys({"Left", "Left"});
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(2, ShownPosition(terminal->Screen())) << terminal->Screen();
    terminal->Keys({">"}); // no third subsong
    terminal->Keys({"<"});
    ASSERT_TRUE(terminal->WaitFor(file("subs.xm #1/2"))) << terminal->LastScreen();
    EXPECT_TRUE(terminal->WaitFor([](const std::string &s) { return ShownPosition(s) == 0; }, 5s))
        << terminal->LastScreen();
    // Nor sought past its end, where the next one starts.
    terminal->Keys({"Right", "Right", "Right"});
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(1, ShownPosition(terminal->Screen())) << terminal->Screen();
    terminal->Keys({"q"});
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();
}

TEST_F(Player, ModuleInfoDialogOpensScrollsAndCloses)
{
    // A song message far longer than the dialog's message field.
    std::string message;
    for (int line = 1; line <= 60; ++line)
        message += "Message line " + std::to_string(line) + "\r";
    modwriter::Tune song = samplegen::TestSong("Info Tune", 8, 32);
    song.message = message;
    Write("info.it", modwriter::WriteIt(song));

    auto terminal = Start({"info.it"}, 130, 45);
    ASSERT_TRUE(terminal->WaitFor("Info Tune")) << terminal->LastScreen();
    terminal->Keys({"i"});
    ASSERT_TRUE(terminal->WaitFor("Module Info")) << terminal->LastScreen();
    std::string screen = terminal->LastScreen();
    for (const char *shown :
         {"Title", "Channel", "File", "Sampletext", "Message", "Bass (saw)", "Message line 1", "[ OK ]", "[ Cancel ]"})
        EXPECT_NE(std::string::npos, screen.find(shown)) << shown << " is not on the screen\n" << screen;
    EXPECT_EQ(std::string::npos, screen.find("Message line 60")) << screen;
    // Both multi-line fields are framed, on the row under their labels.
    std::string under = screen.substr(screen.find('\n', screen.find("Sampletext")) + 1);
    under = under.substr(0, under.find('\n'));
    size_t first = under.find("\u250c\u2500"), second = under.find("\u250c\u2500", first + 1);
    EXPECT_TRUE(first != std::string::npos && second != std::string::npos) << "two frames expected in: " << under;

    // Tab to the message field (OK, Cancel, title, sample text, message), then scroll.
    terminal->Keys({"Tab", "Tab", "Tab", "Tab", "End"});
    EXPECT_TRUE(terminal->WaitFor("Message line 60")) << terminal->LastScreen();
    terminal->Keys({"Escape"});
    EXPECT_TRUE(terminal->WaitForGone("Module Info")) << terminal->LastScreen();

    // Open again, close with Enter (OK); the player still answers its keys after.
    terminal->Keys({"i"});
    ASSERT_TRUE(terminal->WaitFor("Module Info")) << terminal->LastScreen();
    terminal->Keys({"Enter"});
    EXPECT_TRUE(terminal->WaitForGone("Module Info")) << terminal->LastScreen();
    terminal->Keys({"q"});
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();
}

// A UTF-8 path and a module text in Windows-1252 with an escape sequence in it.
const char kNonAsciiPath[] = "caf\xc3\xa9 \xe2\x80\x93 song.xm";

std::string NonAsciiModule()
{
    modwriter::XmFile xm;
    xm.song.title = "Plain";
    xm.instruments = {modwriter::XmInstrument{"\x80 Cr\xe8me\x1b[2J", {modwriter::SquareSample("s")}, {}, {}, {}}};
    Bytes bytes = modwriter::BuildXm(xm);
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(Player, NonAsciiPathsAndTextsOnScreenAndInTheDialog)
{
    Write(kNonAsciiPath, NonAsciiModule());
    auto terminal = Start({kNonAsciiPath});
    ASSERT_TRUE(terminal->WaitFor("Plain")) << terminal->LastScreen();
    EXPECT_NE(std::string::npos, ScreenLine(terminal->LastScreen(), "File").find(kNonAsciiPath))
        << terminal->LastScreen();
    terminal->Keys({"i"});
    ASSERT_TRUE(terminal->WaitFor("Module Info")) << terminal->LastScreen();
    std::string screen = terminal->LastScreen();
    EXPECT_NE(std::string::npos, screen.find(kNonAsciiPath)) << screen;
    EXPECT_NE(std::string::npos, screen.find("\xe2\x82\xac Cr\xc3\xa8me?[2J")) << screen;
    terminal->Keys({"Escape", "q"});
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();
}

TEST_F(Player, CLocaleDrawsWithTheLineDrawingSetAndQuestionMarks)
{
    Write(kNonAsciiPath, NonAsciiModule());
    auto terminal = Start({kNonAsciiPath}, 120, 40, "C");
    ASSERT_TRUE(terminal->WaitFor("Plain")) << terminal->LastScreen();
    terminal->Keys({"i"});
    ASSERT_TRUE(terminal->WaitFor("Module Info")) << terminal->LastScreen();
    std::string screen = terminal->LastScreen();
    // The terminal's own line-drawing set (l, q and k in the alternate character set).
    EXPECT_NE(std::string::npos, screen.find("lqqq")) << screen;
    EXPECT_EQ(std::string::npos, screen.find("\u2500")) << screen;
    // One question mark for each character that ASCII lacks.
    EXPECT_NE(std::string::npos, screen.find("? Cr?me?[2J")) << screen;
    EXPECT_NE(std::string::npos, screen.find("caf? ? song.xm")) << screen;
    terminal->Keys({"Escape", "q"});
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();

    // A terminal type that terminfo does not know: plain lines, as for dumb.
    WriteTune("tune.xm", "Plain Lines", 1, 4);
    terminal = std::make_unique<Terminal>(Folder(), ConfigHome(), std::vector<std::string>{"--null", "tune.xm"}, 120,
                                          40, "C.UTF-8", "TERM=bogus");
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();
    EXPECT_NE(std::string::npos, terminal->LastScreen().find("Playing tune.xm (Plain Lines)"))
        << terminal->LastScreen();
}

TEST_F(Player, ConfigurationOkChangesTheNextPlay)
{
    WriteTune("a.xm", "First Tune", 8, 32);
    WriteTune("b.xm", "Second Tune", 8, 32);
    auto terminal = Start({"a.xm", "b.xm"});
    ASSERT_TRUE(terminal->WaitFor("44 kHz, stereo")) << terminal->LastScreen();

    terminal->Keys({"c"});
    ASSERT_TRUE(terminal->WaitFor("Velkin Configuration")) << terminal->LastScreen();
    std::string screen = terminal->LastScreen();
    for (const char *shown : {"Default Device", "Samplerate", "44100", "8 Bits", "Mono", "Loop", "MOD Replay",
                              "Ramping", "(*) Default", "(*) Sensitive"})
        EXPECT_NE(std::string::npos, screen.find(shown)) << shown << " is not on the screen\n" << screen;

    // Cancel changes nothing.
    terminal->Keys({"Escape"});
    ASSERT_TRUE(terminal->WaitForGone("Velkin Configuration")) << terminal->LastScreen();

    // Focus starts on OK: Cancel, device list, rate, 8 Bits, Mono.
    terminal->Keys({"c"});
    ASSERT_TRUE(terminal->WaitFor("Velkin Configuration")) << terminal->LastScreen();
    terminal->Keys({"Tab", "Tab", "Tab", "Down", "Tab", "Tab", "Space"});
    ASSERT_TRUE(terminal->WaitFor("[x] Mono")) << terminal->LastScreen();
    EXPECT_NE(std::string::npos, terminal->LastScreen().find("22050")) << terminal->LastScreen();
    EXPECT_NE(std::string::npos, ScreenLine(terminal->LastScreen(), "Stream").find("44 kHz, stereo"))
        << "the playing module keeps its settings\n"
        << terminal->LastScreen();
    terminal->Keys({"Enter"});
    ASSERT_TRUE(terminal->WaitForGone("Velkin Configuration")) << terminal->LastScreen();

    terminal->Keys({"n"});
    ASSERT_TRUE(terminal->WaitFor([](const std::string &s) {
        return ScreenLine(s, "Title").find("Second Tune") != std::string::npos;
    })) << terminal->LastScreen();
    EXPECT_NE(std::string::npos, ScreenLine(terminal->LastScreen(), "Stream").find("4 channels, 22 kHz, mono"))
        << terminal->LastScreen();
    terminal->Keys({"q"});
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();
}

TEST_F(Player, ConfigOptionOpensTheDialogAlone)
{
    auto terminal = std::make_unique<Terminal>(Folder(), ConfigHome(), std::vector<std::string>{"--config"}, 80, 24);
    ASSERT_TRUE(terminal->WaitFor("Velkin Configuration")) << terminal->LastScreen();
    EXPECT_NE(std::string::npos, terminal->LastScreen().find("[ OK ]")) << terminal->LastScreen();
    EXPECT_EQ(std::string::npos, terminal->LastScreen().find("\n)")) << "the header wraps\n" << terminal->LastScreen();
    terminal->Keys({"Escape"});
    EXPECT_EQ(0, terminal->ExitStatus()) << terminal->LastScreen();
    ExpectTerminalRestored(*terminal);

    // A file where the settings folder should be: OK (the last Enter) saves nothing, and says why.
    Write("blocked", std::string("x"));
    terminal = std::make_unique<Terminal>(Folder(), Path("blocked"), std::vector<std::string>{"--config"});
    for (const char *shown : {"Settings could not be saved", "Cannot open registry key", "Velkin Configuration"}) {
        ASSERT_TRUE(terminal->WaitFor(shown)) << terminal->LastScreen();
        terminal->Keys({"Enter"});
    }
    EXPECT_EQ(1, terminal->ExitStatus()) << terminal->LastScreen();
    EXPECT_NE(std::string::npos, terminal->LastScreen().find("not saved: " + Path("blocked") + " is not a folder"))
        << terminal->LastScreen();
}

TEST_F(Player, AFailedFileShowsItsBoxesInTheMessageLineAndMovesOn)
{
    WriteTune("good.xm", "After The Box", 8, 32);
    auto terminal = Start({"missing.xm", "good.xm"});
    // The plug-in's boxes as it words them, and the system's reason, together.
    ASSERT_TRUE(terminal->WaitFor([](const std::string &s) {
        return s.find("Error: Cannot open module file") != std::string::npos &&
               s.find("Error: Can't load module") != std::string::npos &&
               s.find("missing.xm: No such file or directory") != std::string::npos;
    })) << terminal->LastScreen();
    auto shown = std::chrono::steady_clock::now();
    // No key: on by itself after about 3 s.
    ASSERT_TRUE(terminal->WaitFor([](const std::string &s) {
        return ScreenLine(s, "Title").find("After The Box") != std::string::npos;
    })) << terminal->LastScreen();
    EXPECT_GE(std::chrono::steady_clock::now() - shown, 2s) << "the messages stay a while";
    EXPECT_EQ(std::string::npos, terminal->LastScreen().find("Error:")) << terminal->LastScreen();
    EXPECT_NE(std::string::npos, terminal->LastScreen().find("(did not play)")) << terminal->LastScreen();
    terminal->Keys({"q"});
    EXPECT_EQ(1, terminal->ExitStatus()) << "a file did not play\n" << terminal->LastScreen();
}

TEST_F(Player, ARepeatedListWhereNothingPlaysWaitsForAKey)
{
    auto terminal = Start({"--repeat", "gone1.xm", "gone2.xm"}, 80, 24);
    for (int file = 1; file <= 2; ++file) {
        std::string counter = "file " + std::to_string(file) + " of 2";
        ASSERT_TRUE(terminal->WaitFor([&](const std::string &s) {
            return s.find(counter) != std::string::npos && s.find("Can't load module") != std::string::npos;
        })) << terminal->LastScreen();
        if (file == 1)
            terminal->Keys({"x"}); // a key that does nothing else moves on at once
    }
    ASSERT_TRUE(terminal->WaitFor("no file played")) << terminal->LastScreen();
    std::this_thread::sleep_for(4s);
    std::string screen = terminal->Screen();
    EXPECT_NE(std::string::npos, screen.find("file 2 of 2")) << "the player waits\n" << screen;
    size_t marks = 0;
    for (size_t at = screen.find("(did not play)"); at != std::string::npos; at = screen.find("(did not play)", at + 1))
        ++marks;
    EXPECT_EQ(2u, marks) << screen;
    // At 80 columns the way on is told whole, and a file that did not play has no stream.
    EXPECT_NE(std::string::npos, screen.find("c configuration  q quit")) << screen;
    EXPECT_EQ(std::string::npos, ScreenLine(screen, "Stream").find("channels")) << screen;
    terminal->Keys({"n"});
    ASSERT_TRUE(terminal->WaitFor("file 1 of 2")) << "round again\n" << terminal->LastScreen();
    terminal->Keys({"q"});
    EXPECT_EQ(1, terminal->ExitStatus()) << terminal->LastScreen();
}

TEST_F(Player, CtrlCStopsAndRestoresTheTerminal)
{
    WriteTune("tune.xm", "Interrupted", 8, 32);
    auto terminal = Start({"tune.xm"});
    ASSERT_TRUE(terminal->WaitFor("Interrupted")) << terminal->LastScreen();
    terminal->Keys({"C-c"});
    EXPECT_EQ(128 + SIGINT, terminal->ExitStatus()) << terminal->LastScreen();
    ExpectTerminalRestored(*terminal);

    // The other signals that end a program give the terminal back first too.
    for (int signal : {SIGQUIT, SIGUSR1, SIGALRM}) {
        terminal = Start({"tune.xm"});
        ASSERT_TRUE(terminal->WaitFor("Interrupted")) << terminal->LastScreen();
        kill(terminal->Pid(), signal);
        EXPECT_EQ(128 + signal, terminal->ExitStatus()) << "signal " << signal << "\n" << terminal->LastScreen();
        ExpectTerminalRestored(*terminal);
    }
}

TEST_F(Player, ClosedTerminalEndsThePlayer)
{
    WriteTune("tune.xm", "Hung Up", 8, 32);
    auto terminal = Start({"tune.xm"});
    ASSERT_TRUE(terminal->WaitFor("Hung Up")) << terminal->LastScreen();
    int pid = terminal->Pid();
    ASSERT_GT(pid, 0);
    terminal->Close();
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Running(pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(Running(pid)) << "tessel still runs after its terminal closed";
}

} // namespace
} // namespace hosttest
