// The file a WAV output writes to: one it opens by path, or a duplicate of a
// descriptor a host handed over. It keeps its own position: the C runtime's ftell is a
// 32-bit long on Windows, and a host's descriptor need not start at offset 0.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tessel::sound {

class OutputFile {
public:
    // An existing file that is not a regular file (a FIFO, a device) is opened at once
    // and without blocking: a FIFO nobody reads fails here. Anything else is only
    // checked for being creatable; Create makes or truncates it when there is
    // something to write. nullptr with the reason in error.
    static std::unique_ptr<OutputFile> ForPath(const std::string &path, std::string &error);
    // Works on a duplicate of fd (a C runtime descriptor on Windows), which it closes;
    // fd stays the host's. nullptr with the reason in error.
    static std::unique_ptr<OutputFile> ForDescriptor(int fd, std::string &error);
    // Whether fd is an open descriptor that may be written to.
    static bool UsableDescriptor(int fd);
    // For the thread that writes: a pipe without a reader or the file-size limit fails
    // that write with an error, rather than ending the host by a signal (POSIX).
    static void ShieldWritingThread();

    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // How errors name the file: its path, or the host's descriptor.
    const std::string &Name() const { return name_; }
    bool Opened() const { return fd_ >= 0; }
    // Creates or truncates the file named at ForPath.
    bool Create();
    // Whether bytes already written can be written again (a header patched): not on
    // a pipe, a FIFO, a terminal or a descriptor that appends.
    bool Seekable() const { return seekable_; }
    // Writes size bytes after what was written; done gets how many went out. False
    // when not all did, and after Interrupt when a reader keeps it waiting.
    bool Append(const void *data, size_t size, size_t &done);
    // Writes over bytes already written, offset counted from where this file began.
    // Seekable files only.
    bool WriteAt(uint64_t offset, const void *data, size_t size);
    // Closes the descriptor.
    bool Close();
    // Makes a write that waits for a reader give up at once, for good. Any thread.
    void Interrupt();
    // Why the last call that returned false failed.
    const std::string &Reason() const { return reason_; }

private:
    OutputFile();
    // Takes a freshly opened or duplicated descriptor: seekable or not, where it starts.
    void Adopt(int fd);

    std::string path_; // empty for a host's descriptor
    std::string name_;
    std::string reason_;
    int fd_ = -1;
    bool seekable_ = false;
    bool nonBlocking_ = false;
    uint64_t start_ = 0; // where this file began in the descriptor
    uint64_t end_ = 0;   // bytes written from start_
    std::atomic<bool> interrupted_{false};
#ifdef _WIN32
    std::mutex writerLock_;
    void *writer_ = nullptr; // the thread in a pipe's WriteFile, which Interrupt cancels
#else
    int wake_[2] = {-1, -1}; // Interrupt writes to it, a waiting write polls it
#endif
};

} // namespace tessel::sound
