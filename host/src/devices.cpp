// tessel --devices: the output devices numbered as the configuration dialog's device
// list numbers them, "Default Device" first.
#include "modes.h"

#include "output.h"
#include "text.h"

#include <plugin/bass.h>

#include <cstdio>

namespace tessel::host {

int RunDevices()
{
    Print("0: Default Device\n");
    char *description = nullptr;
    for (int device = 0; BASS_GetDeviceDescription(device, &description); ++device)
        Print("%d: %s\n", device + 1, description ? ForLocale(ForPeople(description)).c_str() : "");
    return 0;
}

} // namespace tessel::host
