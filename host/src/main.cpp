// tessel: plays tracker modules in the terminal through the in_tessel.so plug-in.
#include "modes.h"
#include "plugin_host.h"
#include "signals.h"
#include "terminal.h"

#include <soundlib/include/tessel_bass.h>

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tessel::host;

const char kUsage[] =
    "Usage: tessel [--null] FILE|DIR...\n"
    "       tessel -o OUT.wav FILE...\n"
    "       tessel --info [--json] FILE...\n"
    "       tessel --config | --devices\n";

const char kHelp[] =
    "\n"
    "Plays tracker modules (XM, IT, S3M, MOD, MO3) in the terminal through the Tessel\n"
    "plug-in, in_tessel.so. A folder plays the modules in it in name order.\n"
    "\n"
    "  -o, --output OUT    render to a WAV file instead of the sound device, as fast as\n"
    "                      the machine can; with several files OUT is a folder that\n"
    "                      receives one NAME.wav per file\n"
    "      --max-time SEC  with -o: end a module after SEC seconds of sound (1800)\n"
    "      --null          play in real time to no device (no sound card needed)\n"
    "      --info          print the fields of each file's Module Info dialog\n"
    "      --json          with --info: one JSON object per file, one per line\n"
    "      --config        open the configuration dialog\n"
    "      --devices       list the output devices as the configuration dialog does\n"
    "  -h, --help          show this help\n"
    "  -V, --version       show the version\n"
    "\n"
    "Keys while playing: space pause/resume, left/right one order position back/on,\n"
    "up/down volume, n/p next/previous file, i Module Info, c configuration, q quit.\n"
    "In dialogs: Tab and Shift-Tab move, arrows move and choose, space ticks or\n"
    "presses, Enter is OK, Escape is Cancel.\n"
    "\n"
    "A module set to loop (Loop in the configuration) never ends by itself: n moves\n"
    "on while playing; with -o the WAV holds one pass through the module, as long as\n"
    "the module plays without looping, and no more than --max-time seconds.\n"
    "\n"
    "Settings: $XDG_CONFIG_HOME/tessel/registry.reg (~/.config/tessel/ when unset).\n"
    "TESSEL_PLUGIN names another plug-in to load.\n"
    "Exit status: 0 when every file played, 1 when any did not, 2 on bad usage.\n";

enum class Mode { Play, Render, Info, Config, Devices };

struct Options {
    Mode mode = Mode::Play;
    bool null = false;
    bool json = false;
    bool maxTimeGiven = false;
    std::string output;
    double maxSeconds = 1800;
    std::vector<std::string> files;
};

[[noreturn]] void BadUsage(const std::string &message)
{
    std::fprintf(stderr, "tessel: %s\n%sTry 'tessel --help' for more.\n", message.c_str(), kUsage);
    std::exit(2);
}

void SetMode(Options &options, Mode mode, const char *name)
{
    if (options.mode != Mode::Play && options.mode != mode)
        BadUsage(std::string(name) + " does not go with the other mode given");
    options.mode = mode;
}

Options Parse(int argc, char **argv)
{
    Options options;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const std::string &name) -> std::string {
            size_t equals = arg.find('=');
            if (arg.rfind("--", 0) == 0 && equals != std::string::npos)
                return arg.substr(equals + 1);
            if (arg.size() > 2 && arg[0] == '-' && arg[1] != '-')
                return arg.substr(2); // -oOUT
            if (i + 1 >= argc)
                BadUsage(name + " needs a value");
            return argv[++i];
        };
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            options.files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            std::printf("%s%s", kUsage, kHelp);
            std::exit(0);
        } else if (arg == "-V" || arg == "--version") {
            std::printf("tessel %s\n", TESSEL_VERSION);
            std::exit(0);
        } else if (arg.rfind("-o", 0) == 0 && arg.rfind("--", 0) != 0) {
            SetMode(options, Mode::Render, "-o");
            options.output = value("-o");
        } else if (arg == "--output" || arg.rfind("--output=", 0) == 0) {
            SetMode(options, Mode::Render, "--output");
            options.output = value("--output");
        } else if (arg == "--max-time" || arg.rfind("--max-time=", 0) == 0) {
            std::string text = value("--max-time");
            char *end = nullptr;
            options.maxSeconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end || !(options.maxSeconds > 0))
                BadUsage("--max-time takes a number of seconds above 0, not '" + text + "'");
            options.maxTimeGiven = true;
        } else if (arg == "--null") {
            options.null = true;
        } else if (arg == "--info") {
            SetMode(options, Mode::Info, "--info");
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--config") {
            SetMode(options, Mode::Config, "--config");
        } else if (arg == "--devices") {
            SetMode(options, Mode::Devices, "--devices");
        } else {
            BadUsage("unknown option " + arg);
        }
    }
    if (options.mode == Mode::Render && options.output.empty())
        BadUsage("-o needs a file name");
    if (options.json && options.mode != Mode::Info)
        BadUsage("--json goes with --info");
    if (options.maxTimeGiven && options.mode != Mode::Render)
        BadUsage("--max-time goes with -o");
    if (options.null && options.mode != Mode::Play)
        BadUsage("--null goes with playing only");
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
    std::setlocale(LC_ALL, "");
    Options options = Parse(argc, argv);
    if (options.mode == Mode::Devices)
        return RunDevices();

    InstallSignalHandlers();
    // The player and the configuration dialog draw in the terminal; everything else
    // writes lines, and message boxes go to stderr.
    std::unique_ptr<Terminal> terminal;
    bool interactive = options.mode == Mode::Config || options.mode == Mode::Play;
    if (interactive && Terminal::Available())
        terminal = std::make_unique<Terminal>();
    else if (options.mode == Mode::Config) {
        std::fprintf(stderr, "tessel: --config needs a terminal\n");
        return 1;
    }
    if (options.mode == Mode::Info || (options.mode == Mode::Play && options.null))
        TesselBass_SetOutput(TESSEL_OUTPUT_NULL, nullptr);

    std::string error;
    std::unique_ptr<PluginHost> host = PluginHost::Load(error);
    if (!host) {
        terminal.reset();
        std::fprintf(stderr, "tessel: %s\n", error.c_str());
        return 1;
    }

    int status = 0;
    switch (options.mode) {
    case Mode::Config:
        status = RunConfig(*host, *terminal);
        break;
    case Mode::Render:
        status = RunRender(*host, ExpandArguments(*host, options.files), options.output, options.maxSeconds);
        break;
    case Mode::Info:
        status = RunInfo(*host, ExpandArguments(*host, options.files), options.json);
        break;
    default:
        status = RunPlayer(*host, terminal.get(), ExpandArguments(*host, options.files));
        break;
    }
    host.reset();
    terminal.reset();
    if (int signal = PendingSignal())
        DieBySignal(signal);
    return status;
}
