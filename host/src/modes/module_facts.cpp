#include "modes/module_facts.h"

#include "hosting/plugin_host.h"

#include <cstdio>

namespace tessel::host {

// The plug-in counts each order position as one second.
constexpr int kMsPerOrder = 1000;

ModuleFacts FactsOf(const std::string &file)
{
    ModuleFacts facts;
    // A first call for the count, a second for the list: modules have few subsongs.
    TesselBassSubsong first{};
    if (TesselBass_DescribeFile(file.c_str(), &facts.file, &first, 1) != TESSEL_FILE_OK)
        return facts;
    facts.subsongs.assign(facts.file.subsongs, TesselBassSubsong{});
    facts.subsongs[0] = first;
    if (facts.file.subsongs > 1 && TesselBass_DescribeFile(file.c_str(), &facts.file, facts.subsongs.data(),
                                                           facts.file.subsongs) != TESSEL_FILE_OK)
        return ModuleFacts{};
    facts.known = true;
    return facts;
}

std::string Minutes(uint32_t ms)
{
    char text[32];
    uint32_t tenths = (ms + 50) / 100;
    std::snprintf(text, sizeof text, "%u:%02u.%u", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}

void SeekToSubsong(PluginHost &host, const TesselBassSubsong &subsong)
{
    // The music starts at order 0 by itself.
    if (subsong.startOrder > 0)
        host.Module().SetOutputTime(int(subsong.startOrder) * kMsPerOrder);
}

} // namespace tessel::host
