// tessel: plays tracker modules in the terminal through the in_tessel.so plug-in.
#include "hosting/plugin_host.h"
#include "modes/info_workers.h"
#include "modes/modes.h"
#include "modes/playlist.h"
#include "terminal/stderr_backends.h"
#include "terminal/terminal.h"
#include "util/output.h"
#include "util/signals.h"
#include "util/standard_streams.h"
#include "util/text.h"

#include <soundlib/include/tessel_bass.h>

#include <getopt.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tessel::host;

const char kUsage[] = "Usage: tessel [--null] [--shuffle] [--repeat] [--loop N] [--subsong N] FILE|DIR|LIST.m3u...\n"
                      "       tessel -o OUT.wav|OUT.flac [--subsong N] FILE...\n"
                      "       tessel --info [--json] FILE...\n"
                      "       tessel --config | --devices\n";

const char kHelp[] = "\n"
                     "Plays tracker modules (XM, IT, S3M, MOD, MO3) in the terminal through the Tessel\n"
                     "plug-in, in_tessel.so. A folder plays the modules under it, subfolders too, in\n"
                     "natural order (2_ before 10_); an .m3u or .m3u8 playlist the files it lists, one\n"
                     "a line (# comments skipped, relative names from the playlist's folder).\n"
                     "\n"
                     "  -o, --output OUT    render to a WAV file (OUT.wav) or a FLAC file (OUT.flac)\n"
                     "                      instead of the sound device, as fast as the machine can;\n"
                     "                      no other extension is taken. With several files OUT is a\n"
                     "                      folder that receives one NAME.wav per file. OUT is replaced\n"
                     "                      only by a render that succeeded; an interrupted one is kept\n"
                     "                      only where no OUT existed. - (stdout, /dev/stdout), a FIFO\n"
                     "                      or a device gets a streamed WAV; a terminal none\n"
                     "      --max-time SEC  with -o: end a module after SEC seconds of sound (1800)\n"
                     "      --null          play in real time to no device (no sound card needed)\n"
                     "      --shuffle       play the list in a random order, a new one on each pass\n"
                     "      --repeat        play the whole list again after its last file, for ever\n"
                     "      --loop N        play each module N more times before the next (the\n"
                     "                      plug-in's Loop setting stays as it is)\n"
                     "      --subsong N     play or render only subsong N (from 1) of each module;\n"
                     "                      without it a module of several subsongs plays each in\n"
                     "                      turn, as entries of the playlist (FILE #2/4), and -o\n"
                     "                      renders the first, as the plug-in plays it\n"
                     "      --info          print the fields of each file's Module Info dialog, then\n"
                     "                      what the sound library finds: duration (all subsongs),\n"
                     "                      subsongs (start order and length of each), format,\n"
                     "                      tracker and file size\n"
                     "      --json          with --info: one JSON object per file, one per line (UTF-8)\n"
                     "      --config        open the configuration dialog\n"
                     "      --devices       list the output devices by the number the device setting takes\n"
                     "  -h, --help          show this help\n"
                     "  -V, --version       show the version\n"
                     "\n"
                     "Keys while playing: space pause/resume, left/right one order position back/on,\n"
                     "up/down volume, n/p next/previous entry, </> previous/next subsong of the file,\n"
                     "digits then Enter go to that playlist entry, Home/End the first/last, i Module\n"
                     "Info, c configuration, q quit. A file that does not play shows the plug-in's\n"
                     "message and why (a missing, unreadable file, a folder) at the foot of the\n"
                     "screen; the player moves on after 3 s or at any other key. When no file of a\n"
                     "--repeat list plays, it waits for n, p, c or q.\n"
                     "In dialogs: Tab and Shift-Tab move, arrows move and choose, space ticks, presses\n"
                     "or opens a list, F4 opens a list (in the rate box, which takes typing, space is\n"
                     "typed), Enter is OK, Escape is Cancel.\n"
                     "\n"
                     "A module set to loop (Loop in the configuration) never ends by itself: n moves\n"
                     "on while playing; with -o the WAV holds one pass through the module, as long as\n"
                     "the module plays without looping, and no more than --max-time seconds.\n"
                     "\n"
                     "Settings: $XDG_CONFIG_HOME/tessel/registry.reg (~/.config/tessel/ when unset).\n"
                     "Environment: TESSEL_PLUGIN names another plug-in to load; TESSEL_SOUND_LOG=1\n"
                     "shows what the sound libraries log; TESSEL_OUTPUT, read by the sound library at\n"
                     "every Play, sends the sound to wav:PATH (a WAV file, as fast as it renders), null\n"
                     "(nowhere, in real time) or device (the same as unset); --null and -o win over it.\n"
                     "Exit status: 0 when every file played, 1 when any did not or the output could not\n"
                     "be written (a closed stdout too), 2 on bad usage, 128 + the signal when\n"
                     "interrupted.\n"
                     "See tessel(1).\n";

// --subsong: libopenmpt counts them in 32 bits.
constexpr long kMaxSubsong = 1000000;
// --loop: the most passes a module gets again.
constexpr long kMaxLoops = 1000000;
// --max-time: one millisecond up to the largest count of them in 32 bits.
constexpr double kMinMaxSeconds = 0.001;
constexpr double kMaxMaxSeconds = 4294967.295;

enum class Mode { Play, Render, Info, Config, Devices };

struct Options {
    Mode mode = Mode::Play;
    bool null = false;
    bool json = false;
    bool maxTimeGiven = false;
    bool orderGiven = false; // --shuffle, --repeat or --loop
    int subsong = 0;
    PlayOrder order;
    std::string output;
    double maxSeconds = 1800;
    std::vector<std::string> files;
};

[[noreturn]] void BadUsage(const std::string &message)
{
    std::fprintf(stderr, "tessel: %s\n%sTry 'tessel --help' for more.\n", message.c_str(), kUsage);
    std::exit(2);
}

// A whole number from min to max written in plain digits, or bad usage that says what
// the option takes.
int ParseWhole(const std::string &text, long min, long max, const std::string &takes)
{
    char *end = nullptr;
    errno = 0;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) || *end || errno || value < min ||
        value > max)
        BadUsage(takes + " from " + std::to_string(min) + " to " + std::to_string(max) + ", not '" + ForTerminal(text) +
                 "'");
    return int(value);
}

// The option as the user typed it, without a value after '=', safe for the terminal.
std::string OptionNamed(const char *argument)
{
    std::string text = argument;
    return ForTerminal(text.substr(0, text.find('=')));
}

void SetMode(Options &options, Mode mode, const char *name)
{
    if (options.mode != Mode::Play && options.mode != mode)
        BadUsage(std::string(name) + " does not go with the other mode given");
    options.mode = mode;
}

Options Parse(int argc, char **argv)
{
    enum { kMaxTime = 256, kNull, kInfo, kJson, kConfig, kDevices, kShuffle, kRepeat, kLoop, kSubsong };
    static const option longOptions[] = {
        {"output", required_argument, nullptr, 'o'},
        {"max-time", required_argument, nullptr, kMaxTime},
        {"null", no_argument, nullptr, kNull},
        {"shuffle", no_argument, nullptr, kShuffle},
        {"repeat", no_argument, nullptr, kRepeat},
        {"loop", required_argument, nullptr, kLoop},
        {"subsong", required_argument, nullptr, kSubsong},
        {"info", no_argument, nullptr, kInfo},
        {"json", no_argument, nullptr, kJson},
        {"config", no_argument, nullptr, kConfig},
        {"devices", no_argument, nullptr, kDevices},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    Options options;
    opterr = 0; // the messages below say it with the usage
    int option;
    while ((option = getopt_long(argc, argv, ":o:hV", longOptions, nullptr)) != -1) {
        switch (option) {
        case 'h':
            Print("%s%s", kUsage, kHelp);
            std::exit(FinishOutput(0));
        case 'V':
            Print("tessel %s\n", TESSEL_VERSION);
            std::exit(FinishOutput(0));
        case 'o':
            SetMode(options, Mode::Render, "-o");
            options.output = optarg;
            break;
        case kMaxTime: {
            std::string text = optarg;
            char *end = nullptr;
            options.maxSeconds = std::strtod(text.c_str(), &end);
            // The limit goes to the sound library in whole milliseconds, 32 bits of them.
            if (text.empty() || *end || !(options.maxSeconds >= kMinMaxSeconds && options.maxSeconds <= kMaxMaxSeconds))
                BadUsage("--max-time takes seconds from 0.001 to 4294967, not '" + ForTerminal(text) + "'");
            options.maxTimeGiven = true;
            break;
        }
        case kNull:
            options.null = true;
            break;
        case kShuffle:
            options.order.shuffle = options.orderGiven = true;
            break;
        case kRepeat:
            options.order.repeat = options.orderGiven = true;
            break;
        case kLoop:
            options.order.loops = ParseWhole(optarg, 0, kMaxLoops, "--loop takes a count");
            options.orderGiven = true;
            break;
        case kSubsong:
            options.subsong = ParseWhole(optarg, 1, kMaxSubsong, "--subsong takes a number");
            break;
        case kInfo:
            SetMode(options, Mode::Info, "--info");
            break;
        case kJson:
            options.json = true;
            break;
        case kConfig:
            SetMode(options, Mode::Config, "--config");
            break;
        case kDevices:
            SetMode(options, Mode::Devices, "--devices");
            break;
        case ':':
            BadUsage(OptionNamed(argv[optind - 1]) + " needs a value");
        default:
            // optopt is a letter for a short option, and a long option's code (not a
            // character) for one given a value it does not take.
            if (optopt > 0 && optopt < 128 && std::isgraph(optopt))
                BadUsage(std::string("unknown option -") + char(optopt));
            if (optopt)
                BadUsage(OptionNamed(argv[optind - 1]) + " takes no value");
            BadUsage("unknown option " + OptionNamed(argv[optind - 1]));
        }
    }
    for (int i = optind; i < argc; ++i)
        options.files.push_back(argv[i]);
    if (options.mode == Mode::Render && options.output.empty())
        BadUsage("-o needs a file name");
    if (bool flac = false; options.mode == Mode::Render && !RenderFormatOf(options.output, flac))
        BadUsage("-o writes WAV (NAME.wav) or FLAC (NAME.flac), not '" + ForTerminal(options.output) + "'");
    if (options.json && options.mode != Mode::Info)
        BadUsage("--json goes with --info");
    if (options.maxTimeGiven && options.mode != Mode::Render)
        BadUsage("--max-time goes with -o");
    if (options.null && options.mode != Mode::Play)
        BadUsage("--null goes with playing only");
    if (options.subsong && options.mode != Mode::Play && options.mode != Mode::Render)
        BadUsage("--subsong goes with playing and -o");
    options.order.subsong = options.subsong;
    if (options.orderGiven && options.mode != Mode::Play)
        BadUsage("--shuffle, --repeat and --loop go with playing only");
    bool wantsFiles = options.mode == Mode::Play || options.mode == Mode::Render || options.mode == Mode::Info;
    if (wantsFiles && options.files.empty())
        BadUsage("no file to play");
    if (!wantsFiles && !options.files.empty())
        BadUsage("--config and --devices take no files");
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    GuardStandardStreams();
    std::setlocale(LC_ALL, "");
    Options options = Parse(argc, argv);
    if (options.mode == Mode::Devices)
        return FinishOutput(RunDevices());

    InstallSignalHandlers();
    // The player and the configuration dialog draw in the terminal; everything else
    // writes lines, and message boxes go to stderr.
    std::unique_ptr<Terminal> terminal;
    bool interactive = options.mode == Mode::Config || options.mode == Mode::Play;
    if (interactive)
        terminal = Terminal::Open();
    if (!terminal && options.mode == Mode::Config) {
        std::fprintf(stderr, "tessel: --config needs a terminal\n");
        return 1;
    }
    if (options.mode == Mode::Info)
        ChooseSilentOutput();
    if (options.mode == Mode::Play && options.null)
        TesselBass_SetOutput(TESSEL_OUTPUT_NULL, nullptr);

    // Without a terminal, boxes and notices are lines on stderr, cleaned as all others.
    static StderrLines lines;
    if (!terminal)
        tessel::ui::InstallBackend(&lines);

    std::string error;
    std::unique_ptr<PluginHost> host = PluginHost::Load(error);
    // The playlist as the loaded plug-in accepts it: folders opened, before deciding how
    // many --info workers the files it holds want.
    std::vector<std::string> files;
    if (host)
        files = ExpandArguments(*host, options.files);
    // --info over several files: workers forked from the loaded plug-in, while this
    // process has one thread. They start it each for themselves; this process only
    // lists the files.
    std::unique_ptr<InfoWorkers> workers;
    if (host && options.mode == Mode::Info)
        if (int count = InfoWorkers::CountFor(files))
            workers = InfoWorkers::Start(count, *host);
    if (!host || (!workers && !host->Start(error))) {
        host.reset();
        terminal.reset();
        std::fprintf(stderr, "tessel: %s\n", ForTerminal(error).c_str());
        return 1;
    }

    int status = 0;
    std::string failure; // told once the terminal is back
    switch (options.mode) {
    case Mode::Config:
        status = RunConfig(*host, *terminal, failure);
        break;
    case Mode::Render:
        status = RunRender(*host, files, options.output, options.maxSeconds, options.subsong);
        break;
    case Mode::Info:
        status = RunInfo(*host, files, options.json, workers.get());
        workers.reset();
        break;
    default:
        status = RunPlayer(*host, terminal.get(), files, options.order);
        break;
    }
    host.reset();
    terminal.reset();
    tessel::ui::InstallBackend(nullptr);
    if (int signal = PendingSignal())
        DieBySignal(signal);
    if (!failure.empty())
        std::fprintf(stderr, "tessel: %s\n", ForTerminal(failure).c_str());
    return FinishOutput(status);
}
