// What each form of the command line does. Each returns the exit status.
#pragma once

#include "hosting/plugin_host.h"
#include "terminal/terminal.h"

#include <string>
#include <vector>

namespace tessel::host {

// tessel -o OUT FILE...: one WAV (or one per file in the folder OUT).
int RunRender(PluginHost &host, const std::vector<std::string> &files, const std::string &out, double maxSeconds);
class InfoWorkers;
// tessel --info [--json] FILE...; with workers, several files are answered at once.
int RunInfo(PluginHost &host, const std::vector<std::string> &files, bool json, InfoWorkers *workers);
// tessel [--null] FILE...: the player on the terminal, or without one a plain run
// through the playlist.
int RunPlayer(PluginHost &host, Terminal *terminal, const std::vector<std::string> &files);
// tessel --config; 1 with the reason in failure when OK could not save the settings.
int RunConfig(PluginHost &host, Terminal &terminal, std::string &failure);
// tessel --devices
int RunDevices();

// The playlist: files as given, each folder's playable files in name order.
std::vector<std::string> ExpandArguments(const PluginHost &host, const std::vector<std::string> &arguments);

} // namespace tessel::host
