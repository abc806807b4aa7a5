// What every header reader needs: absolute and relative moves, little-endian field
// reads that keep the bytes a short read did not deliver, and bounded text lengths.
#pragma once

#include <windows.h>

// The largest field read through ReadField: every header piece is a few dozen bytes.
#define MAX_FIELD_READ 64

// Moves to offset from the file's start, or by distance from the position. A move to
// before the start fails and leaves the position where it was, as Win32 does.
void SeekTo(HANDLE file, LONG offset);
void SeekBy(HANDLE file, LONG distance);
// The same, giving the position afterwards (its low 32 bits): the one held before
// when the move failed.
DWORD SeekByFrom(HANDLE file, LONG distance, DWORD position);
// The position in the file (its low 32 bits).
DWORD FilePosition(HANDLE file);

// Reads count bytes (at most MAX_FIELD_READ) at the position into field and returns how
// many arrived. Bytes that did not arrive keep what they held: a field of a damaged
// file keeps its previous value.
DWORD ReadField(HANDLE file, void *field, DWORD count);
// The same for little-endian values; the value's own bytes stand in for missing ones.
DWORD ReadLe16(HANDLE file, WORD *value);
DWORD ReadLe32(HANDLE file, DWORD *value);

WORD Le16(const BYTE *bytes);
DWORD Le32(const BYTE *bytes);

// Counts and offsets as the formats define them, with two's-complement wrap.
LONG AsSigned16(WORD value);
LONG AsLong(DWORD value);

// Length of the zero-terminated text at text, looking at no more than limit bytes.
DWORD TextLength(const char *text, DWORD limit);
