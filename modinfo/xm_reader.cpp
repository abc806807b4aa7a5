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
    BYTE packedSize[2]; // unsigned
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

// An intact file moves the walk on at every step (a pattern, an instrument header, a
// sample header, an instrument's sample data), and a walk that moves on ends at the
// file's end, where a read first comes back short. Only a damaged file leads the walk
// back to where it has been, and its stale counts could ask for a billion such steps:
// only those are counted, and this many end the walk.
const DWORD kMaxStepsBack = 32768;

// The walk's place in the file and how far it has come.
struct XmWalk {
    HANDLE file;
    DWORD position; // low 32 bits, as the moves give it
    DWORD furthest; // the furthest position a step has ended at
    DWORD stepsBack;
    BOOL atEnd; // a read came back short, or the walk led back too often
};

DWORD WalkRead(XmWalk *walk, void *field, DWORD size)
{
    DWORD got = ReadField(walk->file, field, size);
    walk->position += got;
    if (got < size)
        walk->atEnd = TRUE;
    return got;
}

void WalkMove(XmWalk *walk, LONG distance)
{
    walk->position = SeekByFrom(walk->file, distance, walk->position);
}

void EndStep(XmWalk *walk)
{
    if (walk->position > walk->furthest)
        walk->furthest = walk->position;
    else if (++walk->stepsBack >= kMaxStepsBack)
        walk->atEnd = TRUE;
}

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
    SeekTo(file, AsLong(kHeaderSizeOffset + headerSize));
    XmWalk walk = {file, FilePosition(file), 0, 0, FALSE};
    walk.furthest = walk.position;
    XmPatternHead pattern = {};
    LONG patterns = AsSigned16(patternCount);
    for (LONG p = 0; p < patterns && !walk.atEnd; p++) {
        if (WalkRead(&walk, &pattern, sizeof pattern) < sizeof pattern)
            break;
        WalkMove(&walk, AsLong(Le32(pattern.headerLength) + Le16(pattern.packedSize) - (DWORD)sizeof pattern));
        EndStep(&walk);
    }

    TextCursor names;
    BeginText(&names, moduleInfo.sampleText);
    XmInstrumentHead instrument = {};
    char name[kNameWidth + 3]; // the name, its terminator, room for CR LF
    DWORD sampleLength = 0;
    LONG instruments = AsSigned16(instrumentCount);
    for (LONG i = 0; i < instruments && !names.full; i++) {
        FillName(name, i);
        if (walk.atEnd) {
            AppendLine(&names, name);
            continue;
        }
        DWORD got = WalkRead(&walk, &instrument, sizeof instrument);
        if (got > kNameStart)
            memcpy(name, instrument.name, got - kNameStart < kNameWidth ? got - kNameStart : kNameWidth);
        AppendLine(&names, name);
        if (walk.atEnd)
            continue;
        WalkMove(&walk, AsLong(Le32(instrument.size) - (DWORD)sizeof instrument));
        EndStep(&walk);

        DWORD sampleHeaderSize = Le32(instrument.sampleHeaderSize);
        DWORD sampleDataSize = 0;
        LONG samples = AsSigned16(Le16(instrument.sampleCount));
        for (LONG s = 0; s < samples && !walk.atEnd; s++) {
            DWORD lengthGot = ReadLe32(file, &sampleLength);
            walk.position += lengthGot;
            if (lengthGot < kSampleLengthSize) {
                walk.atEnd = TRUE;
                break;
            }
            if (sampleHeaderSize != kSampleLengthSize)
                WalkMove(&walk, AsLong(sampleHeaderSize - kSampleLengthSize));
            sampleDataSize += sampleLength;
            EndStep(&walk);
        }
        if (!walk.atEnd && sampleDataSize) {
            WalkMove(&walk, AsLong(sampleDataSize));
            EndStep(&walk);
        }
    }
    return 0;
}
