// The sample-rate text rules of the configuration dialog: at most seven decimal
// digits, shown without leading zeros and read back digit by digit.
#include "settings/config_dialog.h"

DWORD ParseDecimal(const char *text)
{
    DWORD value = 0;
    for (; *text; ++text) {
        value *= 10;
        if (*text >= '0' && *text <= '9')
            value += (DWORD)(*text - '0');
    }
    return value;
}

void BuildRateText(DWORD rate, char *text)
{
    char digits[RATE_TEXT_SIZE];
    int count = 0;
    DWORD rest = rate % 10000000;
    while (rest > 0) {
        digits[count++] = (char)('0' + rest % 10);
        rest /= 10;
    }
    for (int i = 0; i < count; ++i)
        text[i] = digits[count - 1 - i];
    text[count] = '\0';
}

BOOL FilterRateText(char *text, BOOL longer, DWORD caret, DWORD *caretAfter)
{
    BOOL changed = longer;
    DWORD kept = 0;
    DWORD keptBeforeCaret = 0;
    for (DWORD i = 0; text[i]; ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            text[kept++] = text[i];
            if (i < caret)
                ++keptBeforeCaret;
        } else {
            changed = TRUE;
        }
    }
    text[kept] = '\0';
    *caretAfter = keptBeforeCaret;
    return changed;
}
