// Placeholder until the configuration dialog lands.
#include "plugin/plugin.h"

void Config(HWND)
{
}
