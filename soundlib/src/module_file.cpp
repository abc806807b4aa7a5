#include "module_file.h"

#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <cstdio>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tessel::sound {
namespace {

// How many bytes to read from offset: length of them, or all (length 0).
bool Span(uint64_t size, uint32_t offset, uint32_t length, uint64_t &wanted)
{
    if (offset > size)
        return false;
    uint64_t available = size - offset;
    wanted = length == 0 ? available : std::min<uint64_t>(length, available);
    return wanted > 0 && wanted <= kMaxModuleBytes;
}

#ifndef _WIN32

class ModuleSource {
public:
    // Without blocking: opening a FIFO for reading would wait for a writer for ever.
    explicit ModuleSource(const char *path) : fd_(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)) {}
    ~ModuleSource()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    // Nothing but a regular file: a FIFO or a device would never end or never come.
    bool Size(uint64_t &size) const
    {
        struct stat info {};
        if (fd_ < 0 || fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))
            return false;
        size = uint64_t(info.st_size);
        return true;
    }
    bool ReadAt(uint64_t offset, unsigned char *data, size_t size) const
    {
        size_t done = 0;
        while (done < size) {
            ssize_t got = pread(fd_, data + done, size - done, off_t(offset + done));
            if (got <= 0)
                return false;
            done += size_t(got);
        }
        return true;
    }

private:
    int fd_;
};

#else

class ModuleSource {
public:
    explicit ModuleSource(const char *path) : file_(std::fopen(path, "rb")) {}
    ~ModuleSource()
    {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    bool Size(uint64_t &size) const
    {
        if (file_ == nullptr || _fseeki64(file_, 0, SEEK_END) != 0)
            return false;
        long long end = _ftelli64(file_);
        size = uint64_t(end);
        return end >= 0;
    }
    bool ReadAt(uint64_t offset, unsigned char *data, size_t size) const
    {
        return _fseeki64(file_, static_cast<long long>(offset), SEEK_SET) == 0 &&
               std::fread(data, 1, size, file_) == size;
    }

private:
    std::FILE *file_;
};

#endif

} // namespace

bool ReadModuleFile(const char *path, uint32_t offset, uint32_t length, std::vector<unsigned char> &data)
{
    ModuleSource source(path);
    uint64_t size = 0;
    uint64_t wanted = 0;
    if (!source.Size(size) || !Span(size, offset, length, wanted))
        return false;
    // libopenmpt judges the header first: a large file that is no module is refused
    // without being read.
    size_t head = size_t(std::min<uint64_t>(wanted, openmpt::probe_file_header_get_recommended_size()));
    data.resize(head);
    if (!source.ReadAt(offset, data.data(), head))
        return false;
    if (openmpt::probe_file_header(openmpt::probe_file_header_flags_default2, data.data(), head, wanted) ==
        openmpt::probe_file_header_result_failure)
        return false;
    data.resize(size_t(wanted));
    return source.ReadAt(offset + head, data.data() + head, data.size() - head);
}

} // namespace tessel::sound
