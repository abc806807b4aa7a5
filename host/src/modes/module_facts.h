// What the sound library tells of a module file without playing it: length, format,
// tracker and subsongs. The plug-in plays from order 0; the host reaches the other
// subsongs through the plug-in's seek, at the start orders given here.
#pragma once

#include <soundlib/include/tessel_bass.h>

#include <string>
#include <vector>

namespace tessel::host {

class PluginHost;

struct ModuleFacts {
    bool known = false; // false: the library could not read the file as a module
    TesselBassFileFacts file{};
    std::vector<TesselBassSubsong> subsongs; // all of them, in the library's order
};

ModuleFacts FactsOf(const std::string &file);

// m:ss.s
std::string Minutes(uint32_t ms);

// Moves the music that just started to the subsong's start, through the plug-in's
// seek (whole seconds are order positions to it), past the song's end marker too.
void SeekToSubsong(PluginHost &host, const TesselBassSubsong &subsong);

} // namespace tessel::host
