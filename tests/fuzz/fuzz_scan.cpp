// libFuzzer target: the bytes become a file with one reader's extension, and the scan
// runs over it. ASan and UBSan catch what goes wrong inside; the checks below catch a
// record the scan leaves in a state no file may produce.
#include "modinfo/module_info.h"

#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#ifndef FUZZ_EXTENSION
#error FUZZ_EXTENSION names the reader under test ("mod", "s3m", "xm" or "it")
#endif

namespace {

std::string folder;
std::string path;

void RemoveFuzzFile()
{
    DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());
}

// One file per process, rewritten for every input and removed at exit.
const std::string &FuzzFile()
{
    if (path.empty()) {
        char temp[MAX_PATH + 1] = {};
        GetTempPathA(sizeof temp, temp);
        folder = std::string(temp) + "tessel-fuzz-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
        path = folder + "/input." FUZZ_EXTENSION;
        atexit(RemoveFuzzFile);
    }
    return path;
}

void Check(bool holds, const char *what)
{
    if (!holds) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &path = FuzzFile();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        abort();
    DWORD written = 0;
    WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);

    int result = ScanModuleInfo(path.c_str());

    Check(memchr(moduleInfo.sampleText, 0, sizeof moduleInfo.sampleText) != nullptr, "sampleText has its terminator");
    Check(memchr(moduleInfo.message, 0, sizeof moduleInfo.message) != nullptr, "message has its terminator");
    std::string extension = FUZZ_EXTENSION;
    if (extension == "mod") {
        Check(result == (size >= 1084 ? 0 : 1), "the MOD reader fails exactly when the tag is missing");
    } else {
        Check(result == 0, "the S3M, XM and IT readers always succeed");
    }
    if (extension == "s3m")
        Check(moduleInfo.channels >= 0 && moduleInfo.channels <= 32, "S3M channels within 0 to 32");
    if (extension == "it")
        Check(moduleInfo.channels >= 0 && moduleInfo.channels <= 64, "IT channels within 0 to 64");
    if (extension == "xm")
        Check(moduleInfo.channels >= -32768 && moduleInfo.channels <= 32767, "XM channels are a 16-bit count");
    if (extension != "it")
        Check(strcmp(moduleInfo.message, "no message available") == 0, "only the IT reader writes the message");
    return 0;
}
