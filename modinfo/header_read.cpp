#include "modinfo/header_read.h"

#include <string.h>

void SeekTo(HANDLE file, LONG offset)
{
    SetFilePointer(file, offset, NULL, FILE_BEGIN);
}

void SeekBy(HANDLE file, LONG distance)
{
    SetFilePointer(file, distance, NULL, FILE_CURRENT);
}

DWORD SeekByFrom(HANDLE file, LONG distance, DWORD position)
{
    DWORD moved = SetFilePointer(file, distance, NULL, FILE_CURRENT);
    return moved == INVALID_SET_FILE_POINTER ? position : moved;
}

DWORD FilePosition(HANDLE file)
{
    return SetFilePointer(file, 0, NULL, FILE_CURRENT);
}

DWORD ReadField(HANDLE file, void *field, DWORD count)
{
    // Read aside and copy what arrived, so nothing else of the field is touched
    // whatever the system does with the rest of a buffer on a short read.
    BYTE arrived[MAX_FIELD_READ];
    if (count > MAX_FIELD_READ)
        count = MAX_FIELD_READ;
    DWORD got = 0;
    if (!ReadFile(file, arrived, count, &got, NULL) || got > count)
        got = 0;
    memcpy(field, arrived, got);
    return got;
}

DWORD ReadLe16(HANDLE file, WORD *value)
{
    BYTE bytes[2] = {(BYTE)(*value & 0xFF), (BYTE)(*value >> 8)};
    DWORD got = ReadField(file, bytes, sizeof bytes);
    *value = Le16(bytes);
    return got;
}

DWORD ReadLe32(HANDLE file, DWORD *value)
{
    BYTE bytes[4] = {(BYTE)(*value & 0xFF), (BYTE)(*value >> 8 & 0xFF), (BYTE)(*value >> 16 & 0xFF),
                     (BYTE)(*value >> 24)};
    DWORD got = ReadField(file, bytes, sizeof bytes);
    *value = Le32(bytes);
    return got;
}

WORD Le16(const BYTE *bytes)
{
    return (WORD)(bytes[0] | bytes[1] << 8);
}

DWORD Le32(const BYTE *bytes)
{
    return (DWORD)bytes[0] | (DWORD)bytes[1] << 8 | (DWORD)bytes[2] << 16 | (DWORD)bytes[3] << 24;
}

LONG AsSigned16(WORD value)
{
    return value < 0x8000 ? (LONG)value : (LONG)value - 0x10000;
}

LONG AsLong(DWORD value)
{
    return value < 0x80000000u ? (LONG)value : -(LONG)(~value) - 1;
}

DWORD TextLength(const char *text, DWORD limit)
{
    DWORD length = 0;
    while (length < limit && text[length])
        length++;
    return length;
}
