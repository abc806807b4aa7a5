#include "wav_target.h"

#include <tessel/paths.h>

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tessel::host {
namespace {

using tessel::platform::DirectoryOf;
using tessel::platform::FollowLinks;

// Of the target's name in the new file's: room for the suffix within 255 bytes.
constexpr size_t kMaxNamePart = 200;

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
