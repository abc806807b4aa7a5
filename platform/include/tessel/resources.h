// How a POSIX module carries its resources: the build compiles res/*.rc into the
// binary resource-file format (what windres writes with -O res) and embeds those
// bytes as TesselResourceTable, which FindResourceA looks up with dlsym.
#pragma once

#include <stddef.h>

struct TesselResourceBlock {
    const unsigned char *data;
    size_t size;
};

#define TESSEL_RESOURCE_TABLE_SYMBOL "TesselResourceTable"
