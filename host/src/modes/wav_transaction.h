// One WAV of tessel -o as one transaction, so that no way out of a render costs the
// user a file.
//
// A regular file, or a name not taken yet, is never written in place: the render goes
// into a new file beside it, made for this render alone (on Linux nameless, linked only
// when committed, so a killed render leaves nothing; where the file system refuses that,
// named with the owner's process id and locked by it, so that a later render removes
// what a dead one left). The transaction has three ends:
//   Commit       the render is whole: it replaces OUT;
//   Abandon      the render failed: the new file goes, OUT stays byte for byte;
//   KeepPartial  the render was interrupted: it becomes OUT only where no OUT existed
//                and it holds at least one whole frame; otherwise as Abandon.
// Ended by none of them, it is abandoned. Its end restores the sound library's output.
//
// A FIFO, a character device and standard output (-, /dev/stdout, /dev/fd/1) cannot be
// replaced: they get the WAV as a stream written to them as they are (appended where
// standard output appends), never removed.
//
// FLAC follows the same rules: the library renders its WAV into a nameless file of
// this transaction's own, and the FLAC made from it goes where the WAV would have gone
// (a stream gets it once the render has ended or was interrupted).
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

namespace tessel::host {

class WavTransaction {
public:
    // Opens the target for out, as named on the command line, and makes the new file
    // or the stream the sound library's offline output. A FIFO is opened as a shell
    // opens it, waiting for its reader; a signal ends that wait. nullptr with a reason
    // in error and the exit status in status (2 for a terminal, 1 otherwise) when OUT
    // cannot or must not be written.
    enum class Format { Wav, Flac };
    static std::unique_ptr<WavTransaction> Begin(const std::string &out, Format format, std::string &error,
                                                 int &status);
    ~WavTransaction();
    WavTransaction(const WavTransaction &) = delete;
    WavTransaction &operator=(const WavTransaction &) = delete;

    // Written in place (a FIFO, a device, standard output): there is nothing to undo.
    bool Streamed() const { return streamed_; }
    // The render goes to standard output: lines for people go elsewhere.
    bool SharesStdout() const;

    // False with a reason when the new file could not replace OUT; it is then removed.
    bool Commit(std::string &error);
    void Abandon();
    enum class Partial { Kept, Removed, LeftAsItWas, Streamed };
    Partial KeepPartial();

private:
    WavTransaction() = default;
    bool HoldsAWholeFrame() const;
    // FLAC: encodes the rendered WAV into the target, once. False with a reason.
    bool Encode(std::string &error);

    int fd_ = -1;       // the target, or the new file that will replace it
    int renderFd_ = -1; // what the library writes: fd_, or for FLAC a WAV of its own
    bool flac_ = false;
    bool encoded_ = false;
    bool ownsFd_ = false;
    bool streamed_ = false;
    bool existed_ = false;  // OUT was there when the render began
    bool nameless_ = false; // made with O_TMPFILE: nothing to remove, a name to give
    bool ended_ = false;
    std::string path_;      // the file that ends up holding the WAV, links followed
    std::string temporary_; // the named new file, until it is committed or removed
};

// The identity of an existing file (device and inode), which links and other names of
// it share; false when nothing is there.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity &other) const { return device == other.device && inode == other.inode; }
};
bool IdentityOf(const std::string &path, FileIdentity &identity);
// out names standard output: "-", or a name of descriptor 1 (/dev/stdout, /dev/fd/1,
// or any name of the file it has open).
bool NamesStandardOutput(const std::string &out);

} // namespace tessel::host
