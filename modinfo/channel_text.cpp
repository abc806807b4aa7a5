// The channel count as the Module Info dialog shows it.
#include "modinfo/info_dialog.h"

#define MAX_SHOWN_CHANNELS 999999

void BuildChannelText(LONG channels, char *text)
{
    if (channels < 0) {
        text[0] = '\0';
        return;
    }
    LONG shown = channels > MAX_SHOWN_CHANNELS ? MAX_SHOWN_CHANNELS : channels;
    char digits[CHANNEL_TEXT_SIZE];
    int count = 0;
    do {
        digits[count++] = (char)('0' + shown % 10);
        shown /= 10;
    } while (shown > 0);
    for (int i = 0; i < count; ++i)
        text[i] = digits[count - 1 - i];
    text[count] = '\0';
}
