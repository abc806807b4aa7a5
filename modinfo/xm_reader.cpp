// FastTracker II XM: the channel count from the header, instrument names found by
// walking past every pattern and every instrument's sample data with relative moves.
// The signature is not checked.
#include "modinfo/header_read.h"
#include "modinfo/module_info.h"

#include <stddef.h>
#include <string.h>

namespace {

const LONG kHeaderSizeOffset = 60; // the header size counts from here
const LONG kChannelCountOffset = 68;
const LONG kPatternCountOffset = 70;
const LONG kInstrumentCountOffset = 72;

// The fields at a pattern's start, read as one piece.
struct XmPatternHead {
    BYTE headerLength[4]; // from the pattern's start
    BYTE packingType;
    BYTE rowCount[2];
    BYTE packedSize[2];   // unsigned
};
static_assert(sizeof(XmPatternHead) == 9, "pattern head is 9 bytes");

// The fields at an instrument's start, read as one piece.
struct XmInstrumentHead {
    BYTE size[4]; // the instrument header's length from its start
    char name[22];
    BYTE type;
    BYTE sampleCount[2];      // signed 16-bit
    BYTE sampleHeaderSize[4]; // read even when there are no samples
};
static_assert(sizeof(XmInstrumentHead) == 33, "instrument head is 33 bytes");

const DWORD kNameWidth = sizeof(((XmInstrumentHead *)0)->name);
const DWORD kNameStart = offsetof(XmInstrumentHead, name);
const DWORD kSampleLengthSize = 4; // the first field of a sample header
const int kFirstFill = 'a';        // instrument i's name starts as 22 copies of 'a' + i

// Every pattern, instrument header and sample header the walk passes is one step.
// FastTracker II's largest module takes 256 + 128 + 128 × 16; stale counts of a
// damaged file could ask for a billion. Past this bound the walk counts as ended.
const DWORD kMaxWalkSteps = 32768;

// An unread name shows its fill, so a cut file still lists every instrument.
void FillName(char *name, LONG instrument)
{
    memset(name, (BYTE)(kFirstFill + instrument), kNameWidth);
    name[kNameWidth] = 0;
}

} // namespace

int ReadXmInfo(HANDLE file)
{
    DWORD headerSize = 0;
    WORD channelCount = 0;
    WORD patternCount = 0;
    WORD instrumentCount = 0;
    SeekTo(file, kHeaderSizeOffset);
    ReadLe32(file, &headerSize);
    SeekTo(file, kChannelCountOffset);
    ReadLe16(file, &channelCount);
    moduleInfo.channels = AsSigned16(channelCount);
    SeekTo(file, kPatternCountOffset);
    ReadLe16(file, &patternCount);
    SeekTo(file, kInstrumentCountOffset);
    ReadLe16(file, &instrumentCount);

    // Once a read of the walk comes back short the walk is at the end of the file:
    // every later read would deliver nothing and repeat stale sizes, so it reads and
    // moves no more, and the instruments left give the lines of unread names.
    BOOL atEnd = FALSE;
    DWORD steps = 0;
    SeekTo(file, AsLong(kHeaderSizeOffset + headerSize));
    XmPatternHead pattern = {};
    LONG patterns = AsSigned16(patternCount);
    for (LONG p = 0; p < patterns && !atEnd; p++) {
        atEnd = ++steps > kMaxWalkSteps || ReadField(file, &pattern, sizeof pattern) < sizeof pattern;
        if (!atEnd)
            SeekBy(file, AsLong(Le32(pattern.headerLength) + Le16(pattern.packedSize) - (DWORD)sizeof pattern));
    }

    TextCursor names;
    BeginText(&names, moduleInfo.sampleText);
    XmInstrumentHead instrument = {};
    char name[kNameWidth + 3]; // the name, its terminator, room for CR LF
    DWORD sampleLength = 0;
    LONG instruments = AsSigned16(instrumentCount);
    for (LONG i = 0; i < instruments && !names.full; i++) {
        FillName(name, i);
        atEnd = atEnd || ++steps > kMaxWalkSteps;
        if (atEnd) {
            AppendLine(&names, name);
            continue;
        }
        DWORD got = ReadField(file, &instrument, sizeof instrument);
        if (got > kNameStart)
            memcpy(name, instrument.name, got - kNameStart < kNameWidth ? got - kNameStart : kNameWidth);
        AppendLine(&names, name);
        atEnd = got < sizeof instrument;
        if (atEnd)
            continue;
        SeekBy(file, AsLong(Le32(instrument.size) - (DWORD)sizeof instrument));

        DWORD sampleHeaderSize = Le32(instrument.sampleHeaderSize);
        DWORD sampleDataSize = 0;
        LONG samples = AsSigned16(Le16(instrument.sampleCount));
        for (LONG s = 0; s < samples && !atEnd; s++) {
            atEnd = ++steps > kMaxWalkSteps || ReadLe32(file, &sampleLength) < kSampleLengthSize;
            if (atEnd)
                break;
            if (sampleHeaderSize != kSampleLengthSize)
                SeekBy(file, AsLong(sampleHeaderSize - kSampleLengthSize));
            sampleDataSize += sampleLength;
        }
        if (!atEnd && sampleDataSize)
            SeekBy(file, AsLong(sampleDataSize));
    }
    return 0;
}
