// Placeholder until length, position and file information land.
#include "plugin/plugin.h"

int GetLength(void)
{
    return 0;
}

int GetOutputTime(void)
{
    return 0;
}

void SetOutputTime(int)
{
}

void GetFileInfo(const char *, char *, int *)
{
}
