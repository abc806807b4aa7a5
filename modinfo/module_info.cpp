#include "modinfo/module_info.h"

#include "modinfo/header_read.h"

#include <string.h>

ModuleInfo moduleInfo;

namespace {

const char kLineEnd[] = "\r\n";
const DWORD kLineEndLength = 2;

// Appends first and second as one piece, or nothing when both do not fit with the
// terminator; a refused piece closes the text.
void AppendWhole(TextCursor *cursor, const char *first, DWORD firstLength, const char *second, DWORD secondLength)
{
    if (cursor->full)
        return;
    DWORD room = MODULE_TEXT_SIZE - 1 - cursor->length;
    if (firstLength > room || secondLength > room - firstLength) {
        cursor->full = TRUE;
        return;
    }
    char *end = cursor->text + cursor->length;
    memcpy(end, first, firstLength);
    memcpy(end + firstLength, second, secondLength);
    cursor->length += firstLength + secondLength;
    cursor->text[cursor->length] = 0;
}

} // namespace

void BeginText(TextCursor *cursor, char *text)
{
    text[0] = 0;
    cursor->text = text;
    cursor->length = 0;
    cursor->full = FALSE;
}

void AppendLine(TextCursor *cursor, char *name)
{
    // The line end goes into the name's own buffer: a later short read into that
    // buffer shows it again, as the readers' formats are documented to do.
    DWORD length = (DWORD)strlen(name);
    if (length == 0)
        return;
    memcpy(name + length, kLineEnd, kLineEndLength + 1);
    AppendWhole(cursor, name, length + kLineEndLength, "", 0);
}

void AppendTextLine(TextCursor *cursor, const char *text, DWORD length)
{
    AppendWhole(cursor, text, length, kLineEnd, kLineEndLength);
}
