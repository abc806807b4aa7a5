// ImpulseTracker IT: enabled channels from the pan table, instrument names (or sample
// names when there are no instruments) through the offset table, and the song
// message. The signature is not checked.
#include "modinfo/header_read.h"
#include "modinfo/module_info.h"

#include <string.h>

namespace {

const LONG kOrderCountOffset = 32; // then the instrument count, then the sample count
const LONG kSpecialOffset = 46;
const WORD kSpecialMessage = 0x0001;
const LONG kMessageLengthOffset = 54; // then the message's offset
const LONG kPanTableOffset = 64;
const int kPanTableCount = 64;
const BYTE kChannelDisabled = 0x80;
const LONG kOffsetTableStart = 192; // after the orders, one 32-bit offset per record
const LONG kOffsetSize = 4;

const LONG kInstrumentNameOffset = 32;
// The 26-byte instrument name is taken with the two bytes after it (filter cutoff
// and resonance), so a name without a terminator runs on into them: kept on purpose,
// the plug-in has always shown names so.
const DWORD kInstrumentNameWindow = 28;
const LONG kSampleNameOffset = 20;
const DWORD kSampleNameWidth = 26;

const DWORD kMessageBufferSize = 8000; // ImpulseTracker's own message limit

} // namespace

int ReadItInfo(HANDLE file)
{
    char text[kMessageBufferSize];
    memset(text, 0, sizeof text);
    moduleInfo.channels = 0;

    SeekTo(file, kPanTableOffset);
    // A byte that does not arrive counts as the last one that did; one that never
    // arrived counts as disabled, so a file too short for the table has no channels.
    BYTE pan = 0xFF;
    for (int c = 0; c < kPanTableCount; c++) {
        ReadField(file, &pan, 1);
        if (!(pan & kChannelDisabled))
            moduleInfo.channels++;
    }

    WORD orderCount = 0;
    WORD instrumentCount = 0;
    WORD sampleCount = 0;
    SeekTo(file, kOrderCountOffset);
    ReadLe16(file, &orderCount);
    ReadLe16(file, &instrumentCount);
    // The instrument count alone decides; the module's flags are not consulted.
    bool instrumentNames = instrumentCount != 0;
    if (!instrumentNames)
        ReadLe16(file, &sampleCount);
    LONG count = AsSigned16(instrumentNames ? instrumentCount : sampleCount);
    LONG nameOffset = instrumentNames ? kInstrumentNameOffset : kSampleNameOffset;
    DWORD nameWidth = instrumentNames ? kInstrumentNameWindow : kSampleNameWidth;

    TextCursor names;
    BeginText(&names, moduleInfo.sampleText);
    LONG table = kOffsetTableStart + AsSigned16(orderCount);
    DWORD recordOffset = 0;
    char name[kInstrumentNameWindow + 3] = {}; // the name, its terminator, room for CR LF
    for (LONG k = 0; k < count && !names.full; k++) {
        LONG entry = table + kOffsetSize * k;
        SeekTo(file, entry);
        DWORD got = ReadLe32(file, &recordOffset);
        name[nameWidth] = 0;
        SeekTo(file, AsLong(recordOffset + nameOffset));
        ReadField(file, name, nameWidth);
        AppendLine(&names, name);
        // Past the end of the file every later entry reads nothing, as this one did,
        // and finds this same empty name again: the rest would add nothing.
        if (entry >= 0 && got == 0 && name[0] == 0)
            break;
    }

    TextCursor lines;
    BeginText(&lines, moduleInfo.message);
    WORD special = 0;
    SeekTo(file, kSpecialOffset);
    ReadLe16(file, &special);
    if (!(special & kSpecialMessage))
        return 0;
    WORD messageLength = 0;
    DWORD messageOffset = 0;
    SeekTo(file, kMessageLengthOffset);
    ReadLe16(file, &messageLength);
    ReadLe32(file, &messageOffset);
    // A longer message shows its first 8000 bytes; a negative length says nothing
    // about where the text ends, so such a message is left out.
    LONG wanted = AsSigned16(messageLength);
    if (wanted <= 0)
        return 0;
    if ((DWORD)wanted > kMessageBufferSize)
        wanted = kMessageBufferSize;
    SeekTo(file, AsLong(messageOffset));
    DWORD got = 0;
    if (!ReadFile(file, text, (DWORD)wanted, &got, NULL) || got > (DWORD)wanted)
        got = 0;

    // Lines end at CR only: an LF stays in the text and starts the next line, and a
    // zero byte ends a line's text early.
    DWORD lineStart = 0;
    for (DWORD i = 0; i < got; i++) {
        if (text[i] != '\r')
            continue;
        text[i] = 0;
        AppendTextLine(&lines, text + lineStart, TextLength(text + lineStart, i - lineStart));
        lineStart = i + 1;
    }
    DWORD last = TextLength(text + lineStart, got - lineStart);
    if (last > 0)
        AppendTextLine(&lines, text + lineStart, last);
    return 0;
}
