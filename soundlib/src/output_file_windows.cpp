// Writes go to the descriptor's system handle: the C runtime's own position is a 32-bit
// long, its text mode would turn a byte 10 into two, and its append mode would send a
// header patch to the end.
#include "output_file.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tessel::sound {
namespace {

// The most one WriteFile is asked to take.
constexpr size_t kMaxWrite = 1 << 20;

std::string Describe(DWORD error)
{
    char text[256];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.'))
        --length;
    return length > 0 ? std::string(text, length) : "system error " + std::to_string(error);
}

HANDLE HandleOf(int fd)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

bool IsFolder(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder a path names its file in ("." for a bare name, "C:" for "C:x.wav").
std::string FolderOf(const std::string &path)
{
    size_t end = path.find_last_of("\\/");
    if (end == std::string::npos)
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) + "." : ".";
    return path.substr(0, end + 1);
}

bool MoveTo(HANDLE handle, uint64_t offset)
{
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(offset);
    return SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) != 0;
}

bool WriteWhole(HANDLE handle, const char *bytes, size_t size, size_t &done)
{
    done = 0;
    while (done < size) {
        DWORD wrote = 0;
        if (!WriteFile(handle, bytes + done, DWORD(std::min(size - done, kMaxWrite)), &wrote, nullptr))
            return false;
        if (wrote == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += wrote;
    }
    return true;
}

} // namespace

std::unique_ptr<OutputFile> OutputFile::ForPath(const std::string &path, std::string &error)
{
    std::unique_ptr<OutputFile> file(new OutputFile());
    file->path_ = path;
    file->name_ = path;
    // An existing file opened as it is (CreateFile never waits on a pipe): a device
    // or a pipe is kept, a regular file is left alone until the first frame.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        if (GetFileType(handle) == FILE_TYPE_DISK) {
            CloseHandle(handle);
            return file;
        }
        int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
        if (fd < 0) {
            CloseHandle(handle);
            error = "cannot open " + path + ": " + std::strerror(errno);
            return nullptr;
        }
        file->Adopt(fd);
        return file;
    }
    DWORD failure = GetLastError();
    if (failure == ERROR_PATH_NOT_FOUND || (failure == ERROR_FILE_NOT_FOUND && !IsFolder(FolderOf(path)))) {
        error = "cannot create " + path + ": " + Describe(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    if (failure != ERROR_FILE_NOT_FOUND) {
        error = "cannot write " + path + ": " + Describe(failure);
        return nullptr;
    }
    return file;
}

std::unique_ptr<OutputFile> OutputFile::ForDescriptor(int fd, std::string &error)
{
    std::unique_ptr<OutputFile> file(new OutputFile());
    file->name_ = "the host's descriptor " + std::to_string(fd);
    int copy = UsableDescriptor(fd) ? _dup(fd) : -1;
    if (copy < 0) {
        error = "cannot write to " + file->name_ + ": " + std::strerror(EBADF);
        return nullptr;
    }
    file->Adopt(copy);
    return file;
}

bool OutputFile::UsableDescriptor(int fd)
{
    return fd >= 0 && _get_osfhandle(fd) != -1;
}

void OutputFile::ShieldWritingThread()
{
    // Windows has no signals for a closed pipe or a file-size limit.
}

void OutputFile::Adopt(int fd)
{
    fd_ = fd;
    HANDLE handle = HandleOf(fd);
    LARGE_INTEGER zero{}, at{};
    seekable_ = GetFileType(handle) == FILE_TYPE_DISK && SetFilePointerEx(handle, zero, &at, FILE_CURRENT) != 0;
    start_ = seekable_ ? uint64_t(at.QuadPart) : 0;
    end_ = 0;
}

OutputFile::OutputFile() = default;

void OutputFile::Interrupt()
{
    std::unique_lock<std::mutex> lock(writerLock_);
    interrupted_.store(true, std::memory_order_relaxed);
    // The writer may be just about to enter WriteFile, where a cancel finds nothing to
    // end: cancel again until it is out. It never goes back in once interrupted.
    while (writer_ != nullptr) {
        CancelSynchronousIo(writer_);
        lock.unlock();
        Sleep(1);
        lock.lock();
    }
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0)
        _close(fd_);
}

bool OutputFile::Create()
{
    HANDLE handle = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason_ = Describe(GetLastError());
        return false;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        reason_ = std::strerror(errno);
        return false;
    }
    Adopt(fd);
    return true;
}

bool OutputFile::Append(const void *data, size_t size, size_t &done)
{
    done = 0;
    // A pipe's WriteFile waits for its reader as long as it takes: Interrupt cancels it
    // from another thread, which needs this thread's handle.
    HANDLE writer = nullptr;
    if (!seekable_) {
        std::lock_guard<std::mutex> lock(writerLock_);
        if (interrupted_.load(std::memory_order_relaxed)) {
            reason_ = "no reader took the data";
            return false;
        }
        if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &writer, 0, FALSE,
                            DUPLICATE_SAME_ACCESS))
            writer_ = writer;
    }
    bool ok = WriteWhole(HandleOf(fd_), static_cast<const char *>(data), size, done);
    DWORD failure = GetLastError();
    if (writer != nullptr) {
        std::lock_guard<std::mutex> lock(writerLock_);
        writer_ = nullptr;
        CloseHandle(writer);
    }
    end_ += done;
    if (!ok)
        reason_ = failure == ERROR_OPERATION_ABORTED ? "no reader took the data" : Describe(failure);
    return ok;
}

bool OutputFile::WriteAt(uint64_t offset, const void *data, size_t size)
{
    HANDLE handle = HandleOf(fd_);
    size_t done = 0;
    bool ok = MoveTo(handle, start_ + offset) && WriteWhole(handle, static_cast<const char *>(data), size, done);
    DWORD failure = GetLastError();
    // Back to the end, for the next Append.
    if (!MoveTo(handle, start_ + end_) && ok) {
        ok = false;
        failure = GetLastError();
    }
    if (!ok)
        reason_ = Describe(failure);
    return ok;
}

bool OutputFile::Close()
{
    if (fd_ < 0)
        return true;
    int result = _close(fd_);
    fd_ = -1;
    if (result != 0) {
        reason_ = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace tessel::sound
