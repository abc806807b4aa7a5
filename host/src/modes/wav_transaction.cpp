#include "modes/wav_transaction.h"

#include "modes/flac_file.h"
#include "util/standard_streams.h"

#include <soundlib/include/tessel_bass.h>
#include <tessel/paths.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>

namespace tessel::host {
namespace {

using tessel::platform::DirectoryOf;
using tessel::platform::FollowLinks;

// Of the target's name in the new file's: room for the mark within 255 bytes.
constexpr size_t kMaxNamePart = 200;
// What marks a new file: NAME.tessel-PID-XXXXXX.
constexpr char kMark[] = ".tessel-";
// A marked file younger than this may be one whose owner is between making and locking it.
constexpr time_t kMinDeadAgeSeconds = 60;
// The canonical header the sound library writes: its block size and data size fields.
constexpr size_t kHeaderBytes = 44;
constexpr size_t kBlockAlignAt = 32;
constexpr size_t kDataBytesAt = 40;

mode_t CreationMask()
{
    static const mode_t mask = [] {
        mode_t current = umask(0);
        umask(current);
        return current;
    }();
    return mask;
}

std::string Reason(int error)
{
    return std::strerror(error);
}

std::string MarkedName(const std::string &path, const std::string &unique)
{
    std::string name = path.substr(path.rfind('/') + 1).substr(0, kMaxNamePart);
    return DirectoryOf(path) + "/" + name + kMark + std::to_string(getpid()) + "-" + unique;
}

// The owner's process id in a marked name, or 0 when the name is not one of ours.
pid_t OwnerOf(const char *name)
{
    const char *mark = std::strstr(name, kMark);
    while (mark && std::strstr(mark + 1, kMark))
        mark = std::strstr(mark + 1, kMark);
    if (!mark)
        return 0;
    char *end = nullptr;
    long pid = std::strtol(mark + sizeof kMark - 1, &end, 10);
    return pid > 0 && *end == '-' && std::strlen(end + 1) == 6 ? pid_t(pid) : 0;
}

// Removes the marked files in folder whose owners are gone: no process holds their
// lock, and their process is not running (or the file is too old to be in the making).
void RemoveDeadTemporaries(const std::string &folder)
{
    // Once a folder per run: a folder of renders is not read again for each.
    static std::set<std::string> cleaned;
    if (!cleaned.insert(folder).second)
        return;
    DIR *directory = opendir(folder.c_str());
    if (!directory)
        return;
    while (dirent *entry = readdir(directory)) {
        pid_t owner = OwnerOf(entry->d_name);
        if (!owner || owner == getpid())
            continue;
        int fd = openat(dirfd(directory), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat status {};
        const bool running = kill(owner, 0) == 0 || errno == EPERM;
        const bool old = fstat(fd, &status) == 0 && std::time(nullptr) - status.st_mtime > kMinDeadAgeSeconds;
        if (S_ISREG(status.st_mode) && (!running || old) && flock(fd, LOCK_EX | LOCK_NB) == 0)
            unlinkat(dirfd(directory), entry->d_name, 0);
        close(fd);
    }
    closedir(directory);
}

std::string UniquePart(int attempt)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint64_t seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) * 2654435761u + attempt;
    std::string part;
    for (int i = 0; i < 6; ++i, seed /= 62)
        part.push_back(letters[seed % 62]);
    return part;
}

// Gives the nameless file fd a marked name beside path; false with errno.
bool LinkNameless(int fd, const std::string &path, std::string &linked)
{
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        linked = MarkedName(path, UniquePart(attempt));
        if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, linked.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        // Without /proc, the call that needs the privilege to find files.
        if (errno == ENOENT && linkat(fd, "", AT_FDCWD, linked.c_str(), AT_EMPTY_PATH) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// A nameless file in folder for the WAV that FLAC is made from (named and removed at
// once where the file system refuses nameless ones); -1 with errno.
int NamelessScratch(const std::string &folder)
{
    int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    std::string name = folder + "/.tessel-render-XXXXXX";
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        unlink(name.c_str());
    return fd;
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

bool NamesStandardOutput(const std::string &out)
{
    if (out == "-" || out == "/dev/stdout" || out == "/dev/fd/1" || out == "/proc/self/fd/1")
        return true;
    // A closed standard output holds our /dev/null, which is no name of it.
    struct stat standard {};
    FileIdentity named;
    return !StandardStreamClosed(STDOUT_FILENO) && fstat(STDOUT_FILENO, &standard) == 0 && IdentityOf(out, named) &&
           named == FileIdentity{standard.st_dev, standard.st_ino};
}

std::unique_ptr<WavTransaction> WavTransaction::Begin(const std::string &out, Format format, std::string &error,
                                                      int &status)
{
    std::unique_ptr<WavTransaction> wav(new WavTransaction);
    status = 1;
    struct stat named {};
    const bool exists = stat(out.c_str(), &named) == 0;
    if (!exists && errno != ENOENT) { // a loop of links, a path through a file
        error = Reason(errno);
        return nullptr;
    }
    if (NamesStandardOutput(out)) {
        // Descriptor 1 as it is: appended to where the shell opened it to append.
        if (StandardStreamClosed(STDOUT_FILENO)) {
            error = "standard output is closed";
            return nullptr;
        }
        wav->fd_ = STDOUT_FILENO;
        wav->streamed_ = true;
    } else if (exists && !S_ISREG(named.st_mode)) {
        // Opened as a shell's redirection opens it: never truncated, never replaced.
        wav->fd_ = open(out.c_str(), O_WRONLY | O_CLOEXEC);
        if (wav->fd_ < 0) {
            error = Reason(errno);
            return nullptr;
        }
        wav->ownsFd_ = wav->streamed_ = true;
    }
    if (wav->streamed_) {
        if (isatty(wav->fd_)) {
            error = format == Format::Flac ? "will not write FLAC to a terminal" : "will not write a WAV to a terminal";
            status = 2;
            return nullptr;
        }
    } else {
        wav->path_ = FollowLinks(out);
        wav->existed_ = exists;
        // Refused where the shell's redirection would be refused, for the same reason.
        if (exists && faccessat(AT_FDCWD, wav->path_.c_str(), W_OK, AT_EACCESS) != 0) {
            error = Reason(errno);
            return nullptr;
        }
        const std::string folder = DirectoryOf(wav->path_);
        RemoveDeadTemporaries(folder);
        // The mode the file would have had from a shell's redirection: the replaced
        // file's, or a new file's.
        const mode_t mode = exists ? named.st_mode & 07777 : 0666 & ~CreationMask();
        wav->fd_ = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        wav->nameless_ = wav->fd_ >= 0;
        if (wav->fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
            wav->temporary_ = MarkedName(wav->path_, "XXXXXX");
            wav->fd_ = mkostemp(wav->temporary_.data(), O_CLOEXEC);
            if (wav->fd_ < 0)
                wav->temporary_.clear();
        }
        if (wav->fd_ < 0) {
            error = exists ? "its folder " + folder + " takes no new file to replace it with (" + Reason(errno) + ")"
                           : Reason(errno);
            return nullptr;
        }
        wav->ownsFd_ = true;
        // Held while this process lives: what a later run finds unlocked is a dead one's.
        flock(wav->fd_, LOCK_EX | LOCK_NB);
        fchmod(wav->fd_, mode);
    }
    wav->renderFd_ = wav->fd_;
    if (format == Format::Flac) {
        // Beside the target, on the disk it will fill anyway; a stream's in the
        // temporary folder.
        const char *temporary = std::getenv("TMPDIR");
        const std::string folder = !wav->streamed_           ? DirectoryOf(wav->path_)
                                   : temporary && *temporary ? temporary
                                                             : "/tmp";
        wav->renderFd_ = NamelessScratch(folder);
        if (wav->renderFd_ < 0) {
            error = "no room for the WAV to make FLAC from in " + folder + " (" + Reason(errno) + ")";
            return nullptr;
        }
        wav->flac_ = true;
    }
    // The library writes what tessel opened: a FIFO waited for, a new file never
    // opened by name again.
    if (!TesselBass_SetOutputFile(TESSEL_OUTPUT_OFFLINE, wav->renderFd_)) {
        error = "the sound library refused it as its output";
        return nullptr;
    }
    return wav;
}

WavTransaction::~WavTransaction()
{
    if (!ended_)
        Abandon();
    if (ownsFd_)
        close(fd_);
    if (flac_)
        close(renderFd_);
    TesselBass_SetOutput(TESSEL_OUTPUT_DEVICE, nullptr);
}

bool WavTransaction::SharesStdout() const
{
    struct stat mine {
    }, standard{};
    return fstat(fd_, &mine) == 0 && fstat(STDOUT_FILENO, &standard) == 0 && mine.st_dev == standard.st_dev &&
           mine.st_ino == standard.st_ino;
}

bool WavTransaction::Encode(std::string &error)
{
    if (!flac_ || encoded_)
        return true;
    encoded_ = true;
    return WavToFlac(renderFd_, fd_, error);
}

bool WavTransaction::Commit(std::string &error)
{
    if (!Encode(error)) {
        Abandon();
        return false;
    }
    if (streamed_) {
        ended_ = true;
        return true;
    }
    if (nameless_ && !LinkNameless(fd_, path_, temporary_)) {
        error = Reason(errno);
        temporary_.clear();
        Abandon();
        return false;
    }
    if (rename(temporary_.c_str(), path_.c_str()) != 0) {
        error = Reason(errno);
        Abandon();
        return false;
    }
    temporary_.clear();
    ended_ = true;
    return true;
}

void WavTransaction::Abandon()
{
    if (!temporary_.empty())
        unlink(temporary_.c_str());
    temporary_.clear();
    ended_ = true;
}

WavTransaction::Partial WavTransaction::KeepPartial()
{
    if (streamed_) {
        std::string error;
        if (HoldsAWholeFrame())
            Encode(error); // what reaches the stream is what there is
        ended_ = true;
        return Partial::Streamed;
    }
    std::string error;
    if (!existed_ && HoldsAWholeFrame() && Commit(error))
        return Partial::Kept;
    Abandon();
    return existed_ ? Partial::LeftAsItWas : Partial::Removed;
}

bool WavTransaction::HoldsAWholeFrame() const
{
    unsigned char header[kHeaderBytes];
    if (pread(renderFd_, header, sizeof header, 0) != ssize_t(sizeof header) || std::memcmp(header, "RIFF", 4) != 0)
        return false;
    const uint32_t blockAlign = header[kBlockAlignAt] | header[kBlockAlignAt + 1] << 8;
    const uint32_t dataBytes = header[kDataBytesAt] | header[kDataBytesAt + 1] << 8 | header[kDataBytesAt + 2] << 16 |
                               uint32_t(header[kDataBytesAt + 3]) << 24;
    return blockAlign > 0 && dataBytes >= blockAlign;
}

} // namespace tessel::host
