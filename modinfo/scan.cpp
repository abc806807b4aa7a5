// The scan: reset the record, open the file, pick a header reader by the extension.
#include "modinfo/module_info.h"

#include <string.h>

namespace {

const char kNoSampleText[] = "no sampletext available";
const char kNoMessage[] = "no message available";

const size_t kShortestPath = 4;    // "a.it"
const size_t kExtensionSize = 260; // the extension with its terminator

struct Reader {
    const char *extension;
    int (*read)(HANDLE file);
};

const Reader kReaders[] = {
    {"mod", ReadModInfo},
    {"s3m", ReadS3mInfo},
    {"xm", ReadXmInfo},
    {"it", ReadItInfo},
};

void ResetModuleInfo()
{
    moduleInfo.channels = 0;
    memcpy(moduleInfo.sampleText, kNoSampleText, sizeof kNoSampleText);
    memcpy(moduleInfo.message, kNoMessage, sizeof kNoMessage);
}

// The text after the path's last "." (directories included), lower-cased in
// extension; false when there is no "." or the text does not fit, which no reader's
// extension could match anyway.
bool TakeExtension(const char *path, char extension[kExtensionSize])
{
    const char *dot = strrchr(path, '.');
    if (!dot)
        return false;
    size_t length = strlen(dot + 1);
    if (length >= kExtensionSize)
        return false;
    for (size_t i = 0; i <= length; i++) {
        char c = dot[1 + i];
        extension[i] = c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
    }
    return true;
}

// The reader the path's extension names, or none.
const Reader *ReaderFor(const char *path)
{
    if (strlen(path) < kShortestPath)
        return NULL;
    char extension[kExtensionSize];
    if (!TakeExtension(path, extension))
        return NULL;
    for (const Reader &reader : kReaders) {
        if (strcmp(extension, reader.extension) == 0)
            return &reader;
    }
    return NULL; // mo3, an empty extension and everything else
}

} // namespace

BOOL HasHeaderReader(const char *path)
{
    return path && ReaderFor(path) != NULL;
}

int ScanModuleInfo(const char *path)
{
    ResetModuleInfo();
    if (!path)
        return 1;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    const Reader *reader = ReaderFor(path);
    int result = reader ? reader->read(file) : 1;
    CloseHandle(file);
    return result;
}
