// tessel-devices: the output devices as the sound library numbers them, which is the
// number the "device" setting holds (-1 is the system's default device).
#include "bass.h"

#include <cstdio>

int main()
{
    std::printf("-1: Default Device\n");
    int device = 0;
    char *description = nullptr;
    while (BASS_GetDeviceDescription(device, &description)) {
        std::printf("%d: %s\n", device, description);
        ++device;
    }
    if (device == 0)
        std::printf("(no output devices: only the WAV and null outputs can play)\n");
    return 0;
}
