// Win32 files over POSIX descriptors.
#include "errors.h"
#include "handles.h"

#include <tessel/eintr.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

using namespace tessel::platform;

namespace {

class FileObject : public KernelObject {
public:
    explicit FileObject(int fd) : fd_(fd) {}
    ~FileObject() override { close(fd_); }
    int Fd() const { return fd_; }

private:
    const int fd_;
};

BOOL FailWithErrno()
{
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
}

std::shared_ptr<FileObject> FileFromHandle(HANDLE handle)
{
    auto file = HandleAs<FileObject>(handle);
    if (!file)
        SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

int OpenFlags(DWORD access, DWORD disposition)
{
    int flags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        flags |= O_RDWR;
    else if (access & GENERIC_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    switch (disposition) {
    case CREATE_NEW:
        return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
        return flags | O_CREAT | O_TRUNC;
    case OPEN_ALWAYS:
        return flags | O_CREAT;
    case TRUNCATE_EXISTING:
        return flags | O_TRUNC;
    default:
        return flags;
    }
}

} // namespace

extern "C" HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD,
                                     HANDLE)
{
    if (!name || !*name || disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        SetLastError(name && *name ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // Without blocking, so that a FIFO cannot hold the caller before it is refused.
    int fd = open(name, OpenFlags(access, disposition) | O_NONBLOCK, 0666);
    if (fd < 0) {
        FailWithErrno();
        return INVALID_HANDLE_VALUE;
    }
    // Only regular files: Win32 opens no directory without backup semantics, and the
    // callers read modules, never devices, FIFOs or sockets.
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return RegisterHandle(std::make_shared<FileObject>(fd));
}

extern "C" BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED)
{
    if (read)
        *read = 0;
    auto file = FileFromHandle(handle);
    if (!file)
        return FALSE;
    // A regular file delivers short only at its end, as on Win32.
    DWORD total = 0;
    while (total < toRead) {
        ssize_t got = tessel::RetryOnEintr(
            [&] { return ::read(file->Fd(), static_cast<char *>(buffer) + total, toRead - total); });
        if (got < 0)
            return FailWithErrno();
        if (got == 0)
            break;
        total += static_cast<DWORD>(got);
    }
    if (read)
        *read = total;
    return TRUE;
}

extern "C" BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED)
{
    if (written)
        *written = 0;
    auto file = FileFromHandle(handle);
    if (!file)
        return FALSE;
    DWORD total = 0;
    while (total < toWrite) {
        ssize_t put = tessel::RetryOnEintr(
            [&] { return ::write(file->Fd(), static_cast<const char *>(buffer) + total, toWrite - total); });
        if (put < 0)
            return FailWithErrno();
        total += static_cast<DWORD>(put);
    }
    if (written)
        *written = total;
    return TRUE;
}

extern "C" DWORD WINAPI SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method)
{
    auto file = FileFromHandle(handle);
    if (!file)
        return INVALID_SET_FILE_POINTER;
    // Without a high part the distance is a signed 32-bit value.
    // Multiplied, not shifted: a negative high part shifted left is undefined.
    int64_t move = distanceHigh ? static_cast<int64_t>(*distanceHigh) * 0x100000000 + static_cast<uint32_t>(distance)
                                : static_cast<int64_t>(distance);
    int whence = method == FILE_BEGIN     ? SEEK_SET
                 : method == FILE_CURRENT ? SEEK_CUR
                 : method == FILE_END     ? SEEK_END
                                          : -1;
    if (whence < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    // One lseek: a target before the start is refused with EINVAL and the position
    // stays where it was, as Win32 has it.
    off_t target = lseek(file->Fd(), static_cast<off_t>(move), whence);
    if (target < 0) {
        if (errno == EINVAL)
            SetLastError(ERROR_NEGATIVE_SEEK);
        else
            FailWithErrno();
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(target >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(target);
}

extern "C" BOOL WINAPI DeleteFileA(LPCSTR name)
{
    return unlink(name) == 0 ? TRUE : FailWithErrno();
}

extern "C" BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES)
{
    return mkdir(name, 0777) == 0 ? TRUE : FailWithErrno();
}

extern "C" BOOL WINAPI RemoveDirectoryA(LPCSTR name)
{
    return rmdir(name) == 0 ? TRUE : FailWithErrno();
}

extern "C" DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer)
{
    const char *directory = getenv("TMPDIR");
    std::string path = directory && *directory ? directory : "/tmp";
    if (path.back() != '/')
        path += '/';
    if (path.size() + 1 > size)
        return static_cast<DWORD>(path.size() + 1); // the size it needs
    memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}
