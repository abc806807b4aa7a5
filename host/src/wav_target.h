// Where one WAV of tessel -o goes, so that a failure never costs the user a file.
//
// A regular file, or a name not taken yet, is never written in place: the render goes
// into a new file beside it, made for this render alone, which replaces it once the
// render is whole or was interrupted (what was rendered is kept, with a valid header).
// A failure removes only that new file. A symbolic link is followed, as a shell's
// redirection follows it: the new file goes beside the link's target and replaces it.
//
// A FIFO, a character device and standard output ("-") cannot be replaced: they get
// the WAV as a stream, written straight through, never seeked and never removed.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

namespace tessel::host {

class WavTarget {
public:
    // Opens the target for out, as named on the command line. A FIFO is opened as a
    // shell opens it, waiting for its reader; a signal ends that wait (nullptr, with
    // errno EINTR). nullptr with a reason in error when the target cannot be opened.
    static std::unique_ptr<WavTarget> Open(const std::string &out, std::string &error);
    // Removes the new file unless Keep has put it in place.
    ~WavTarget();
    WavTarget(const WavTarget &) = delete;
    WavTarget &operator=(const WavTarget &) = delete;

    // The open file the sound library writes: the new file, or the stream.
    int Fd() const { return fd_; }
    // The file written in place, which Keep leaves as it is.
    bool Streamed() const { return streamed_; }
    // The file the render writes is standard output: lines for people go elsewhere.
    bool SharesStdout() const;
    // The new file replaces the target (nothing to do for a stream). False with a
    // reason when it could not; the new file is then removed.
    bool Keep(std::string &error);

private:
    WavTarget() = default;

    int fd_ = -1;
    bool ownsFd_ = false;
    bool streamed_ = false;
    std::string path_;      // the file that ends up holding the WAV, links followed
    std::string temporary_; // the new file, until Keep or removal
};

// The identity of an existing file (device and inode), which links and other names of
// it share; false when nothing is there.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity &other) const { return device == other.device && inode == other.inode; }
};
bool IdentityOf(const std::string &path, FileIdentity &identity);

} // namespace tessel::host
