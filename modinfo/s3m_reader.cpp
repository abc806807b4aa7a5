// ScreamTracker 3: enabled channels from the channel settings, instrument names
// through the parapointer table. The signature is not checked.
#include "modinfo/header_read.h"
#include "modinfo/module_info.h"

namespace {

const LONG kOrderCountOffset = 32; // signed 16-bit, then the instrument count
const LONG kChannelSettingsOffset = 64;
const int kChannelSettingsCount = 32;
const BYTE kChannelDisabled = 0x80; // top bit: the channel is off (255 usually)
const LONG kOrderListOffset = 96;   // the parapointer table follows the orders
const LONG kParapointerSize = 2;
const LONG kParagraph = 16;
const LONG kInstrumentNameOffset = 48; // in the instrument header
const DWORD kNameWidth = 28;

} // namespace

int ReadS3mInfo(HANDLE file)
{
    moduleInfo.channels = 0;
    SeekTo(file, kChannelSettingsOffset);
    // A byte that does not arrive counts as the last one that did; one that never
    // arrived counts as disabled, so a file too short for the table has no channels.
    BYTE setting = 0xFF;
    for (int c = 0; c < kChannelSettingsCount; c++) {
        ReadField(file, &setting, 1);
        if (!(setting & kChannelDisabled))
            moduleInfo.channels++;
    }

    WORD orderCount = 0;
    WORD instrumentCount = 0;
    SeekTo(file, kOrderCountOffset);
    ReadLe16(file, &orderCount);
    ReadLe16(file, &instrumentCount);

    TextCursor names;
    BeginText(&names, moduleInfo.sampleText);
    LONG count = AsSigned16(instrumentCount); // 0x8000 and above read no names
    // The order count is used exactly, as the plug-in always has: an odd one moves the
    // table by an odd number of bytes, and a negative one puts it before the start, so
    // that move fails and the read takes what follows the previous one.
    LONG table = kOrderListOffset + AsSigned16(orderCount);
    WORD parapointer = 0;
    char name[kNameWidth + 3] = {}; // the name, its terminator, room for CR LF
    for (LONG i = 0; i < count && !names.full; i++) {
        LONG entry = table + kParapointerSize * i;
        SeekTo(file, entry);
        DWORD got = ReadLe16(file, &parapointer);
        SeekTo(file, (LONG)parapointer * kParagraph + kInstrumentNameOffset);
        name[kNameWidth] = 0;
        ReadField(file, name, kNameWidth);
        AppendLine(&names, name);
        // Past the end of the file every later entry reads nothing, as this one did,
        // and finds this same empty name again: the rest would add nothing.
        if (entry >= 0 && got == 0 && name[0] == 0)
            break;
    }
    return 0;
}
