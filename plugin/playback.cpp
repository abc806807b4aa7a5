// Placeholder until playback lands: the slots exist and do nothing.
#include "plugin/plugin.h"

int Play(const char *)
{
    return 1;
}

void Pause(void)
{
}

void UnPause(void)
{
}

int IsPaused(void)
{
    return 0;
}

void Stop(void)
{
}

void SetVolume(int)
{
}

void SetPan(int)
{
}
