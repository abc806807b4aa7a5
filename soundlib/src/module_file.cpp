#include "module_file.h"

#include <algorithm>
#include <cstdio>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tessel::sound {
namespace {

// Modules larger than this are refused rather than read into memory.
constexpr uint64_t kMaxModuleBytes = 1ull << 30;

// How many bytes to read from offset: length of them, or all (length 0).
bool Span(uint64_t size, uint32_t offset, uint32_t length, uint64_t &wanted)
{
    if (offset > size)
        return false;
    uint64_t available = size - offset;
    wanted = length == 0 ? available : std::min<uint64_t>(length, available);
    return wanted > 0 && wanted <= kMaxModuleBytes;
}

} // namespace

#ifndef _WIN32

bool ReadModuleFile(const char *path, uint32_t offset, uint32_t length, std::vector<unsigned char> &data)
{
    // Without blocking: opening a FIFO for reading would wait for a writer for ever.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info {};
    uint64_t wanted = 0;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && Span(uint64_t(info.st_size), offset, length, wanted);
    if (ok) {
        data.resize(size_t(wanted));
        size_t done = 0;
        while (ok && done < data.size()) {
            ssize_t got = pread(fd, data.data() + done, data.size() - done, off_t(offset + done));
            ok = got > 0;
            done += ok ? size_t(got) : 0;
        }
    }
    close(fd);
    return ok;
}

#else

bool ReadModuleFile(const char *path, uint32_t offset, uint32_t length, std::vector<unsigned char> &data)
{
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    bool ok = _fseeki64(file, 0, SEEK_END) == 0;
    long long size = ok ? _ftelli64(file) : -1;
    uint64_t wanted = 0;
    ok = size >= 0 && Span(uint64_t(size), offset, length, wanted) && _fseeki64(file, offset, SEEK_SET) == 0;
    if (ok) {
        data.resize(size_t(wanted));
        ok = std::fread(data.data(), 1, data.size(), file) == data.size();
    }
    std::fclose(file);
    return ok;
}

#endif

} // namespace tessel::sound
