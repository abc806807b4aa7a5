// What each form of the command line does. Each returns the exit status.
#pragma once

#include "hosting/plugin_host.h"
#include "terminal/terminal.h"

#include <string>
#include <vector>

namespace tessel::host {

// tessel -o OUT FILE...: one WAV (or one per file in the folder OUT); subsong (1-based,
// 0 for none) renders that subsong of each file alone.
int RunRender(PluginHost &host, const std::vector<std::string> &files, const std::string &out, double maxSeconds,
              int subsong);
// What -o writes to out: FLAC for NAME.flac (any case); a WAV for NAME.wav, a name
// without an extension, a folder (one NAME.wav per file) and a stream. False for any
// other extension.
bool RenderFormatOf(const std::string &out, bool &flac);
class InfoWorkers;
// tessel --info [--json] FILE...; with workers, several files are answered at once.
int RunInfo(PluginHost &host, const std::vector<std::string> &files, bool json, InfoWorkers *workers);
// How the player goes through the playlist.
struct PlayOrder {
    bool shuffle = false; // a new random order for each pass through the list
    bool repeat = false;  // the whole list again after its last entry
    int loops = 0;        // each module this many more times before the next
    int subsong = 0;      // 1-based: only this subsong of each file; 0: each in turn
};
// tessel [--null] FILE...: the player on the terminal, or without one a plain run
// through the playlist.
int RunPlayer(PluginHost &host, Terminal *terminal, const std::vector<std::string> &files, const PlayOrder &order);
// tessel --config; 1 with the reason in failure when OK could not save the settings.
int RunConfig(PluginHost &host, Terminal &terminal, std::string &failure);
// tessel --devices
int RunDevices();

} // namespace tessel::host
