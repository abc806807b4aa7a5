// Started with fd 2 closed: lists the devices and opens the default one, then exits 0
// only if fd 2 is still closed.
#include "soundlib/include/bass.h"

#include <cerrno>
#include <fcntl.h>

int main()
{
    char *description = nullptr;
    for (int n = 0; BASS_GetDeviceDescription(n, &description); ++n) {
    }
    if (BASS_Init(-1, 44100, 0, nullptr))
        BASS_Free();
    return fcntl(2, F_GETFD) == -1 && errno == EBADF ? 0 : 1;
}
