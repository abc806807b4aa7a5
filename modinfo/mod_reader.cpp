// ProTracker MOD: the channel count from the format tag at 1080, then the 31 sample
// names. Every file is taken to have the 31-sample layout.
#include "modinfo/header_read.h"
#include "modinfo/module_info.h"

#include <string.h>

namespace {

const LONG kFirstSampleOffset = 20; // sample records follow the 20-byte song name
const LONG kSampleRecordSize = 30;  // name, length, finetune, volume, loop start, loop length
const int kSampleCount = 31;
const DWORD kNameWidth = 22;
const LONG kTagOffset = 1080; // after the song length, restart byte and 128 orders
const DWORD kTagSize = 4;

struct TagRule {
    char tag[kTagSize + 1];
    LONG channels;
};

const TagRule kKnownTags[] = {
    {"M.K.", 4}, {"M!K!", 4}, {"OCTA", 8}, {"FLT4", 4}, {"FLT8", 8}, {"CD81", 8},
};

// Digits are not checked in the xCHN and xxCH tags: other bytes give what the
// arithmetic on signed bytes yields, negative counts included.
LONG ChannelsOfTag(const char tag[kTagSize + 1])
{
    for (const TagRule &rule : kKnownTags) {
        if (memcmp(tag, rule.tag, kTagSize) == 0)
            return rule.channels;
    }
    LONG first = (signed char)tag[0] - '0';
    LONG second = (signed char)tag[1] - '0';
    if (memcmp(tag + 1, "CHN", 3) == 0)
        return first;
    if (memcmp(tag + 2, "CH", 2) == 0)
        return 10 * first + second;
    return 4;
}

} // namespace

int ReadModInfo(HANDLE file)
{
    char tag[kTagSize + 1] = {};
    SeekTo(file, kTagOffset);
    if (ReadField(file, tag, kTagSize) < kTagSize)
        return 1; // shorter than 1084 bytes: the scan's defaults stay
    moduleInfo.channels = ChannelsOfTag(tag);

    TextCursor names;
    BeginText(&names, moduleInfo.sampleText);
    char name[kNameWidth + 3] = {}; // the name, its terminator, room for CR LF
    for (int k = 0; k < kSampleCount; k++) {
        SeekTo(file, kFirstSampleOffset + kSampleRecordSize * k);
        name[kNameWidth] = 0;
        ReadField(file, name, kNameWidth);
        AppendLine(&names, name);
    }
    return 0;
}
