// Placeholder until the Module Info dialog lands.
#include "plugin/plugin.h"

int InfoBox(const char *, HWND)
{
    return 1;
}
