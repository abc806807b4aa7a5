// What the plug-in reads itself from a module file's header: the channel count, the
// sample or instrument names and the song message, for the Module Info dialog and
// the host's channel display.
#pragma once

#include <windows.h>

#define MODULE_TEXT_SIZE 32768 // each text with its terminator

struct ModuleInfo {
    LONG channels;                     // a MOD tag can make this negative
    char sampleText[MODULE_TEXT_SIZE]; // one line per non-empty name, each ended by CR LF
    char message[MODULE_TEXT_SIZE];    // the IT song message, lines ended by CR LF
};

// The file most recently scanned; zero-filled until the first scan. Only the scan and
// its readers write it.
extern ModuleInfo moduleInfo;

// The end of a text while a reader fills it, so an append costs no walk over the text.
// Lines go in whole or not at all: once one does not fit, the text is full and takes
// nothing more, so it always holds whole lines, a prefix of what the file names.
struct TextCursor {
    char *text;
    DWORD length;
    BOOL full;
};

// Empties text (MODULE_TEXT_SIZE bytes) and points cursor at its start.
void BeginText(TextCursor *cursor, char *text);
// The name-line rule: a non-empty zero-terminated name gets CR LF written after it in
// its own buffer (which needs room for them and a terminator), and the whole is
// appended; an empty name adds nothing.
void AppendLine(TextCursor *cursor, char *name);
// Appends length bytes of text and CR LF as one line.
void AppendTextLine(TextCursor *cursor, const char *text, DWORD length);

// Resets moduleInfo, opens path, runs the reader its lower-cased extension names and
// closes the file. 0 when a reader ran and returned 0, else 1.
int ScanModuleInfo(const char *path);

// A header reader exists for the path's extension (MOD, S3M, XM, IT): a scan of it that
// fails did not read the file as that format.
BOOL HasHeaderReader(const char *path);

// The header readers: each positions the open file itself and leaves it open. Only the
// MOD reader can fail (1: no format tag).
int ReadModInfo(HANDLE file);
int ReadS3mInfo(HANDLE file);
int ReadXmInfo(HANDLE file);
int ReadItInfo(HANDLE file);
