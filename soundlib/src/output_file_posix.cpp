#include "output_file.h"

#include <tessel/eintr.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessel::sound {
namespace {

// How long a write waits for a reader between looks at Interrupt, should the wake-up
// pipe be missing.
constexpr int kWaitSliceMs = 100;

std::string Describe(int error)
{
    return std::strerror(error);
}

// The folder a path names its file in.
std::string FolderOf(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::unique_ptr<OutputFile> OutputFile::ForPath(const std::string &path, std::string &error)
{
    std::unique_ptr<OutputFile> file(new OutputFile());
    file->path_ = path;
    file->name_ = path;
    struct stat info {};
    bool exists = stat(path.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) {
        error = "cannot create " + path + ": " + Describe(errno);
        return nullptr;
    }
    if (exists && !S_ISREG(info.st_mode)) {
        // Our own open never waits: a FIFO without a reader fails at once (ENXIO).
        int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            error =
                "cannot open " + path + ": " +
                (errno == ENXIO && S_ISFIFO(info.st_mode) ? std::string("no process reads the FIFO") : Describe(errno));
            return nullptr;
        }
        file->Adopt(fd);
        return file;
    }
    // A regular file or a new name is created only when the first frame comes, so a
    // music that never plays leaves an existing file as it was.
    int check = exists ? faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS)
                       : faccessat(AT_FDCWD, FolderOf(path).c_str(), W_OK | X_OK, AT_EACCESS);
    if (check != 0) {
        error = (exists ? "cannot write " : "cannot create ") + path + ": " + Describe(errno);
        return nullptr;
    }
    return file;
}

std::unique_ptr<OutputFile> OutputFile::ForDescriptor(int fd, std::string &error)
{
    std::unique_ptr<OutputFile> file(new OutputFile());
    file->name_ = "the host's descriptor " + std::to_string(fd);
    int copy = UsableDescriptor(fd) ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    if (copy < 0) {
        error = "cannot write to " + file->name_ + ": " + Describe(UsableDescriptor(fd) ? errno : EBADF);
        return nullptr;
    }
    file->Adopt(copy);
    return file;
}

bool OutputFile::UsableDescriptor(int fd)
{
    int flags = fd >= 0 ? fcntl(fd, F_GETFL) : -1;
    return flags != -1 && (flags & O_ACCMODE) != O_RDONLY
#ifdef O_PATH
           && (flags & O_PATH) == 0
#endif
        ;
}

void OutputFile::ShieldWritingThread()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGPIPE);
    sigaddset(&signals, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void OutputFile::Adopt(int fd)
{
    fd_ = fd;
    int flags = fcntl(fd, F_GETFL);
    off_t at = lseek(fd, 0, SEEK_CUR);
    // Every write of a descriptor that appends goes to the end, a header patch too.
    seekable_ = at >= 0 && flags != -1 && (flags & O_APPEND) == 0;
    nonBlocking_ = flags != -1 && (flags & O_NONBLOCK) != 0;
    start_ = seekable_ ? uint64_t(at) : 0;
    end_ = 0;
}

OutputFile::OutputFile()
{
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        wake_[0] = wake_[1] = -1;
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0)
        close(fd_);
    for (int end : wake_)
        if (end >= 0)
            close(end);
}

void OutputFile::Interrupt()
{
    interrupted_.store(true, std::memory_order_relaxed);
    // Never read: from now on every poll of a waiting write returns at once.
    if (wake_[1] >= 0) {
        char byte = 0;
        tessel::RetryOnEintr([&] { return write(wake_[1], &byte, 1); });
    }
}

bool OutputFile::Create()
{
    // O_NONBLOCK in case the name has become a FIFO since: never wait for a reader.
    int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        reason_ = Describe(errno);
        return false;
    }
    Adopt(fd);
    return true;
}

bool OutputFile::Append(const void *data, size_t size, size_t &done)
{
    const char *bytes = static_cast<const char *>(data);
    done = 0;
    // A stream may keep us waiting for its reader: wait for room or for Interrupt,
    // whichever comes first. A blocking one takes at most PIPE_BUF bytes without waiting once poll
    // says it has room.
    bool wait = !seekable_;
    while (done < size) {
        if (wait) {
            pollfd ready[2] = {{fd_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
            const nfds_t watched = wake_[0] >= 0 ? 2 : 1;
            int polled = poll(ready, watched, 0);
            while ((polled == 0 || (polled < 0 && errno == EINTR)) && !interrupted_.load(std::memory_order_relaxed))
                polled = poll(ready, watched, kWaitSliceMs);
            if (ready[0].revents == 0) {
                reason_ = "no reader took the data";
                return false;
            }
        }
        size_t want = size - done;
        if (wait && !nonBlocking_)
            want = std::min<size_t>(want, PIPE_BUF);
        ssize_t wrote = tessel::RetryOnEintr([&] { return write(fd_, bytes + done, want); });
        if (wrote > 0) {
            done += size_t(wrote);
            end_ += uint64_t(wrote);
            continue;
        }
        if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            wait = true;
            continue;
        }
        reason_ = Describe(wrote < 0 ? errno : EIO);
        return false;
    }
    return true;
}

bool OutputFile::WriteAt(uint64_t offset, const void *data, size_t size)
{
    const char *bytes = static_cast<const char *>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t wrote =
            tessel::RetryOnEintr([&] { return pwrite(fd_, bytes + done, size - done, off_t(start_ + offset + done)); });
        if (wrote > 0) {
            done += size_t(wrote);
        } else {
            reason_ = Describe(wrote < 0 ? errno : EIO);
            return false;
        }
    }
    return true;
}

bool OutputFile::Close()
{
    if (fd_ < 0)
        return true;
    int result = close(fd_);
    fd_ = -1;
    // Linux has closed the descriptor even when close says EINTR.
    if (result != 0 && errno != EINTR) {
        reason_ = Describe(errno);
        return false;
    }
    return true;
}

} // namespace tessel::sound
