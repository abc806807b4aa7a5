#include "wav_target.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tessel::host {
namespace {

// As many links as the kernel follows in one path.
constexpr int kMaxLinks = 40;
// Of the target's name in the new file's: room for the suffix within 255 bytes.
constexpr size_t kMaxNamePart = 200;

std::string DirectoryOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The path with its last part's symbolic links followed, as far as they lead (the end
// need not exist: a dangling link names the file to make). A loop is left for the
// open that follows to report.
std::string FollowLinks(std::string path)
{
    for (int depth = 0; depth < kMaxLinks; ++depth) {
        char target[PATH_MAX];
        ssize_t length = readlink(path.c_str(), target, sizeof target);
        if (length < 0 || size_t(length) >= sizeof target)
            break;
        std::string link(target, size_t(length));
        path = link[0] == '/' ? link : DirectoryOf(path) + "/" + link;
    }
    return path;
}

mode_t CreationMask()
{
    static const mode_t mask = [] {
        mode_t current = umask(0);
        umask(current);
        return current;
    }();
    return mask;
}

} // namespace

bool IdentityOf(const std::string &path, FileIdentity &identity)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return false;
    identity = {status.st_dev, status.st_ino};
    return true;
}

std::unique_ptr<WavTarget> WavTarget::Open(const std::string &out, std::string &error)
{
    std::unique_ptr<WavTarget> target(new WavTarget);
    if (out == "-") {
        target->fd_ = STDOUT_FILENO;
        target->streamed_ = true;
        return target;
    }
    // Asked of the name itself: the kernel follows links that name no path too
    // (/dev/stdout to a pipe).
    struct stat status {};
    const bool exists = stat(out.c_str(), &status) == 0;
    if (exists && !S_ISREG(status.st_mode)) {
        // Opened as a shell's redirection opens it: never truncated, never replaced.
        target->fd_ = open(out.c_str(), O_WRONLY | O_CLOEXEC);
        if (target->fd_ < 0) {
            error = std::strerror(errno);
            return nullptr;
        }
        target->ownsFd_ = target->streamed_ = true;
        return target;
    }
    target->path_ = FollowLinks(out);
    // Made exclusively, under a name of its own: nothing else is ever opened or
    // truncated. Making it is also the check that the folder takes new files.
    std::string name = target->path_.substr(target->path_.rfind('/') + 1).substr(0, kMaxNamePart);
    target->temporary_ = DirectoryOf(target->path_) + "/" + name + ".tessel-XXXXXX";
    target->fd_ = mkostemp(target->temporary_.data(), O_CLOEXEC);
    if (target->fd_ < 0) {
        error = std::strerror(errno);
        target->temporary_.clear();
        return nullptr;
    }
    target->ownsFd_ = true;
    // The mode the file would have had from a shell's redirection: the replaced file's,
    // or a new file's.
    fchmod(target->fd_, exists ? status.st_mode & 07777 : 0666 & ~CreationMask());
    return target;
}

WavTarget::~WavTarget()
{
    if (!temporary_.empty())
        unlink(temporary_.c_str());
    if (ownsFd_)
        close(fd_);
}

bool WavTarget::SharesStdout() const
{
    struct stat mine {}, standard {};
    return fstat(fd_, &mine) == 0 && fstat(STDOUT_FILENO, &standard) == 0 && mine.st_dev == standard.st_dev &&
           mine.st_ino == standard.st_ino;
}

bool WavTarget::Keep(std::string &error)
{
    if (temporary_.empty())
        return true;
    if (rename(temporary_.c_str(), path_.c_str()) != 0) {
        error = std::strerror(errno);
        return false; // the destructor removes the new file
    }
    temporary_.clear();
    return true;
}

} // namespace tessel::host
