// tessel --devices: the output devices numbered by the value the "device" setting
// takes (what a user writes into registry.reg): -1 is the system's default, listed
// first as the configuration dialog lists it, then the sound library's 0 to n-1.
#include "modes.h"

#include "output.h"
#include "text.h"

#include <soundlib/include/bass.h>

#include <cstdio>

namespace tessel::host {

int RunDevices()
{
    Print("-1: Default Device\n");
    int device = 0;
    char *description = nullptr;
    for (; BASS_GetDeviceDescription(device, &description); ++device)
        Print("%d: %s\n", device, description ? ForLocale(ForPeople(description)).c_str() : "");
    if (device == 0)
        Print("(no output devices: only the WAV and null outputs can play)\n");
    return 0;
}

} // namespace tessel::host
