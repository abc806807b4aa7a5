// Header scan benchmark. Prints, per format: files scanned per second, file calls per
// file (every call the scan makes, each one system call on Win32; on POSIX open is
// open + fstat and a read that meets the end adds one read), bytes read against the
// file's size; then the time of each worst damaged header against the 50 ms goal.
#include "modinfo/module_info.h"
#include "tests/fixtures/fixture_folder.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace fixtures;
using namespace modwriter;

// The scan's file calls, counted on their way to the platform.
namespace {
struct Calls {
    unsigned long long open, read, seek, close, bytesRead;
    unsigned long long Total() const { return open + read + seek + close; }
} calls;
} // namespace

extern "C" {
HANDLE __real_CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
BOOL __real_ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
DWORD __real_SetFilePointer(HANDLE, LONG, PLONG, DWORD);
BOOL __real_CloseHandle(HANDLE);

HANDLE __wrap_CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                          DWORD attributes, HANDLE templateFile)
{
    calls.open++;
    return __real_CreateFileA(name, access, share, security, disposition, attributes, templateFile);
}

BOOL __wrap_ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    calls.read++;
    BOOL ok = __real_ReadFile(file, buffer, toRead, read, overlapped);
    if (read)
        calls.bytesRead += *read;
    return ok;
}

DWORD __wrap_SetFilePointer(HANDLE file, LONG distance, PLONG high, DWORD method)
{
    calls.seek++;
    return __real_SetFilePointer(file, distance, high, method);
}

BOOL __wrap_CloseHandle(HANDLE object)
{
    calls.close++;
    return __real_CloseHandle(object);
}
}

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

std::string Name(const char *stem, int i)
{
    return stem + std::to_string(100 + i);
}

std::vector<Sample> Samples(const char *stem, int count, size_t length)
{
    std::vector<Sample> samples;
    for (int i = 0; i < count; i++)
        samples.push_back(SquareSample(Name(stem, i), length + 64 * i));
    return samples;
}

// Modules of ordinary shape: a few patterns, a dozen or more named instruments with
// sample data, so that walking past data is part of the cost.
Bytes TypicalMod(int i)
{
    ModFile mod;
    mod.song.orders = {0, 1, 2, 3, static_cast<uint8_t>(i % 8)};
    mod.samples = Samples("mod sample ", 15 + i % 16, 2048);
    return BuildMod(mod);
}

Bytes TypicalS3m(int i)
{
    S3mFile s3m;
    s3m.song.orders = {0, 1, 2, 3, 4, 5};
    s3m.instruments = Samples("s3m instrument ", 12 + i % 20, 2048);
    return BuildS3m(s3m);
}

Bytes TypicalXm(int i)
{
    XmFile xm;
    xm.channels = 8;
    xm.song.orders = {0, 1, 2, 3, 4, 5, 6, 7};
    xm.patterns.assign(8 + i % 8, XmPattern{});
    xm.instruments.clear();
    for (int k = 0; k < 12 + i % 20; k++)
        xm.instruments.push_back(XmInstrument{Name("xm instrument ", k), Samples("s", 1 + k % 4, 1024), {}, {}, {}});
    return BuildXm(xm);
}

Bytes TypicalIt(int i)
{
    ItFile it;
    it.song.orders = {0, 1, 2, 3};
    it.samples = Samples("it sample ", 12 + i % 20, 2048);
    for (int k = 0; k < 12 + i % 20; k++)
        it.instruments.push_back(ItInstrument{Name("it instrument ", k)});
    it.message = "Song message, line one\rline two\rline three\r";
    return BuildIt(it);
}

struct Format {
    const char *name;
    const char *extension;
    Bytes (*build)(int);
};

const Format kFormats[] = {
    {"MOD", "mod", TypicalMod},
    {"S3M", "s3m", TypicalS3m},
    {"XM", "xm", TypicalXm},
    {"IT", "it", TypicalIt},
};

const int kFilesPerFormat = 64;
const double kMinimumSeconds = 0.5;
const double kGoalMs = 50;

struct Result {
    double filesPerSecond;
    double callsPerFile, opens, reads, seeks, closes;
    double bytesPerFile, sizePerFile;
};

Result Throughput(const std::vector<std::string> &paths, const std::vector<size_t> &sizes)
{
    int failures = 0;
    // One pass for the counts, then timed passes until the time is long enough.
    calls = Calls{};
    for (const std::string &path : paths)
        failures += ScanModuleInfo(path.c_str());
    Calls counted = calls;
    size_t passes = 0;
    Clock::time_point start = Clock::now();
    do {
        for (const std::string &path : paths)
            failures += ScanModuleInfo(path.c_str());
        passes++;
    } while (Seconds(Clock::now() - start) < kMinimumSeconds);
    double elapsed = Seconds(Clock::now() - start);
    if (failures)
        printf("  (%d scans failed)\n", failures);
    double files = static_cast<double>(paths.size());
    double totalSize = 0;
    for (size_t size : sizes)
        totalSize += static_cast<double>(size);
    return Result{static_cast<double>(passes) * files / elapsed,
                  counted.Total() / files,
                  counted.open / files,
                  counted.read / files,
                  counted.seek / files,
                  counted.close / files,
                  counted.bytesRead / files,
                  totalSize / files};
}

struct WorstCase {
    const char *what;
    const char *fileName;
    Bytes bytes;
};

// An XM whose counts would ask for a billion steps: 32767 patterns that lead back
// to themselves, then 32767 instruments of 32767 samples each, header and sample
// headers leading back to themselves, all names empty.
Bytes LoopingXm()
{
    XmFile xm;
    xm.patterns = {XmPattern{Bytes(), 0u}};
    xm.patternCount = 0x7FFF;
    xm.instruments = {};
    xm.instrumentCount = 0x7FFF;
    Bytes file = BuildXm(xm);
    // Pattern at 336: header length 0 and no data, so each pattern step returns to it;
    // read as an instrument, it is one of size 0 with an empty name, 32767 samples and
    // sample headers of size 0.
    PutLe32(file, 336, 0);
    PutText(file, 336 + 4, "", 22);
    PutLe16(file, 336 + 27, 0x7FFF);
    PutLe32(file, 336 + 29, 0);
    return file;
}

// An XM announcing 32767 instruments of 32767 samples, cut after the first header.
Bytes CutXm()
{
    XmFile xm;
    xm.patterns = {};
    xm.instruments = {XmInstrument{"first", {}, 263u, 40u, 0x7FFF}};
    xm.instrumentCount = 0x7FFF;
    return BuildXm(xm);
}

// 32767 table entries, all in the file, all pointing at one empty name: no entry
// can be skipped and the text never fills.
Bytes FullS3m()
{
    Bytes file(96, 0);
    PutLe16(file, 32, 0);      // no orders: the table starts at 96
    PutLe16(file, 34, 0x7FFF); // instruments
    const size_t record = 96 + 2 * 0x7FFF + 16;
    const uint16_t paragraph = static_cast<uint16_t>(record / 16);
    for (size_t i = 0; i < 0x7FFF; i++)
        PutLe16(file, 96 + 2 * i, paragraph);
    PutText(file, paragraph * 16, "", 80); // its name at +48 is empty
    return file;
}

// The same for IT, with the longest message: 8000 CRs, 8000 empty lines.
Bytes FullIt()
{
    Bytes file(192, 0);
    PutLe16(file, 32, 0);      // no orders: the table starts at 192
    PutLe16(file, 34, 0x7FFF); // instruments
    PutLe16(file, 46, 1);      // a message is attached
    const size_t record = 192 + 4 * 0x7FFF;
    const size_t message = record + 554;
    PutLe16(file, 54, 8000);
    PutLe32(file, 56, static_cast<uint32_t>(message));
    for (size_t i = 0; i < 0x7FFF; i++)
        PutLe32(file, 192 + 4 * i, static_cast<uint32_t>(record));
    PutText(file, record, "", 554);
    PutText(file, message, std::string(8000, '\r'), 8000);
    return file;
}

// An XM with no patterns whose single instrument header leads back to itself through
// one sample step (size 33, one sample of length -37): every instrument costs a read,
// two moves and a sample step, until the walk's sample steps run out.
Bytes SampleLoopXm()
{
    Bytes file(60 + 276, 0);
    PutLe32(file, 60, 276);
    PutLe16(file, 68, 8);
    PutLe16(file, 70, 0);
    PutLe16(file, 72, 0x7FFF);
    PutLe32(file, 336, 33);          // instrument size
    PutLe16(file, 336 + 27, 1);      // one sample
    PutLe32(file, 336 + 29, 4);      // sample header: the length alone
    PutLe32(file, 369, 0xFFFFFFDBu); // sample length -37: back to the header
    return file;
}

// 32767 names past the end of a cut file: each one is the fill, until the text is full.
Bytes CutS3m()
{
    S3mFile s3m;
    s3m.instruments = NamedSamples({"cut"});
    s3m.instrumentCount = 0x7FFF;
    return Truncated(BuildS3m(s3m), 100);
}

} // namespace

int main()
{
    FixtureFolder folder;
    printf("Header scan throughput: %d generated files per format, each scanned repeatedly for %.1f s\n",
           kFilesPerFormat, kMinimumSeconds);
    printf("%-5s %12s %11s %28s %13s %12s %9s\n", "", "files/s", "calls/file", "(open read seek close)", "bytes read",
           "file size", "read/size");
    std::vector<std::string> allPaths;
    std::vector<size_t> allSizes;
    for (const Format &format : kFormats) {
        std::vector<std::string> paths;
        std::vector<size_t> sizes;
        for (int i = 0; i < kFilesPerFormat; i++) {
            Bytes bytes = format.build(i);
            paths.push_back(folder.Write("file" + std::to_string(i) + "." + format.extension, bytes));
            sizes.push_back(bytes.size());
        }
        allPaths.insert(allPaths.end(), paths.begin(), paths.end());
        allSizes.insert(allSizes.end(), sizes.begin(), sizes.end());
        Result r = Throughput(paths, sizes);
        printf("%-5s %12.0f %11.1f %6.1f %6.1f %6.1f %6.1f %13.0f %12.0f %8.2f%%\n", format.name, r.filesPerSecond,
               r.callsPerFile, r.opens, r.reads, r.seeks, r.closes, r.bytesPerFile, r.sizePerFile,
               100 * r.bytesPerFile / r.sizePerFile);
    }
    Result all = Throughput(allPaths, allSizes);
    printf("%-5s %12.0f %11.1f %6.1f %6.1f %6.1f %6.1f %13.0f %12.0f %8.2f%%\n", "all", all.filesPerSecond,
           all.callsPerFile, all.opens, all.reads, all.seeks, all.closes, all.bytesPerFile, all.sizePerFile,
           100 * all.bytesPerFile / all.sizePerFile);

    WorstCase worst[] = {
        {"XM: 32767 looping patterns, 32767 instruments x 32767 samples", "loop.xm", LoopingXm()},
        {"XM: 32767 instruments x 32767 samples, cut after the first", "cut.xm", CutXm()},
        {"XM: 32767 instruments leading back through one sample step", "steps.xm", SampleLoopXm()},
        {"S3M: 32767 names, all table entries in the file", "full.s3m", FullS3m()},
        {"S3M: 32767 names, file cut before the table's end", "cut.s3m", CutS3m()},
        {"IT: 32767 names, all table entries in the file, 8000-line message", "full.it", FullIt()},
    };
    printf("\nWorst damaged headers (goal: under %.0f ms per scan)\n", kGoalMs);
    printf("%-68s %9s %9s %12s\n", "", "ms/scan", "of goal", "calls/scan");
    for (const WorstCase &w : worst) {
        std::string path = folder.Write(w.fileName, w.bytes);
        std::vector<double> times;
        calls = Calls{};
        ScanModuleInfo(path.c_str());
        Calls counted = calls;
        for (int run = 0; run < 9; run++) {
            Clock::time_point start = Clock::now();
            ScanModuleInfo(path.c_str());
            times.push_back(Seconds(Clock::now() - start) * 1000);
        }
        std::sort(times.begin(), times.end());
        double median = times[times.size() / 2];
        printf("%-68s %9.2f %8.0f%% %12llu\n", w.what, median, 100 * median / kGoalMs, counted.Total());
    }
    return 0;
}
