#include "modes/info_workers.h"

#include "util/signals.h"
#include "util/text.h"

#include <soundlib/include/tessel_bass.h>
#include <tessel/eintr.h>
#include <tessel/ui_backend.h>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

namespace tessel::host {
namespace {

// A file keeps its worker some 22 ms: 2 of work, in its turn, and 20 waiting for the
// music to stop. Waiting workers cost a few hundred kB each and no processor, so
// there are enough of them to keep every core's turn taken.
constexpr int kWorkersPerCore = 7;
constexpr int kMaxWorkers = 32;
// A worker holds about twice its module's file size while it reads it, and a few MB of
// its own: big files get fewer workers (one from about 8 MB), so that the modules in
// memory at once stay near what one process reading them in turn would hold.
constexpr uint64_t kLoadedBudgetBytes = 8 << 20;

// Whole messages over a socket: a length, then the bytes. A signal ends a wait.
bool WriteAll(int fd, const void *data, size_t size)
{
    const char *at = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t put = RetryOnEintr([&] { return write(fd, at, size); }, PendingSignal);
        if (put <= 0)
            return false;
        at += put;
        size -= size_t(put);
    }
    return true;
}

bool ReadAll(int fd, void *data, size_t size)
{
    char *at = static_cast<char *>(data);
    while (size > 0) {
        ssize_t got = RetryOnEintr([&] { return read(fd, at, size); }, PendingSignal);
        if (got <= 0)
            return false;
        at += got;
        size -= size_t(got);
    }
    return true;
}

void PutString(std::string &message, const std::string &text)
{
    uint32_t length = uint32_t(text.size());
    message.append(reinterpret_cast<const char *>(&length), sizeof length);
    message += text;
}

bool SendMessage(int fd, const std::string &body)
{
    uint32_t length = uint32_t(body.size());
    return WriteAll(fd, &length, sizeof length) && WriteAll(fd, body.data(), body.size());
}

// Messages are at most the dialog's texts (2 x 32 KB) and a few lines: anything far
// larger is not from a worker of ours.
constexpr uint32_t kMaxMessage = 16 << 20;

bool ReceiveMessage(int fd, std::string &body)
{
    uint32_t length = 0;
    if (!ReadAll(fd, &length, sizeof length) || length > kMaxMessage)
        return false;
    body.resize(length);
    return ReadAll(fd, body.data(), length);
}

class Reader {
public:
    explicit Reader(const std::string &body) : body_(body) {}
    bool String(std::string &text)
    {
        uint32_t length = 0;
        if (at_ + sizeof length > body_.size())
            return false;
        std::memcpy(&length, body_.data() + at_, sizeof length);
        at_ += sizeof length;
        if (length > body_.size() - at_)
            return false;
        text.assign(body_, at_, length);
        at_ += length;
        return true;
    }

private:
    const std::string &body_;
    size_t at_ = 0;
};

// The library's facts travel as their bytes: both ends are the same program.
template <typename Plain>
std::string BytesOf(const Plain *items, size_t count)
{
    return std::string(reinterpret_cast<const char *>(items), sizeof(Plain) * count);
}

template <typename Plain>
bool ItemsOf(const std::string &bytes, std::vector<Plain> &items)
{
    if (bytes.size() % sizeof(Plain) != 0)
        return false;
    items.resize(bytes.size() / sizeof(Plain));
    if (!items.empty())
        std::memcpy(static_cast<void *>(items.data()), bytes.data(), bytes.size());
    return true;
}

std::string Encode(const InfoResult &result)
{
    std::string body;
    PutString(body,
              std::string(1, char((result.played ? 1 : 0) | (result.opened ? 2 : 0) | (result.facts.known ? 4 : 0))));
    for (const std::string *text : {&result.title, &result.file, &result.channel, &result.sampleText, &result.message,
                                    &result.err, &result.startErr})
        PutString(body, *text);
    PutString(body, BytesOf(&result.facts.file, 1));
    PutString(body, BytesOf(result.facts.subsongs.data(), result.facts.subsongs.size()));
    return body;
}

bool Decode(const std::string &body, InfoResult &result)
{
    Reader reader(body);
    std::string flags;
    if (!reader.String(flags) || flags.size() != 1)
        return false;
    result.played = flags[0] & 1;
    result.opened = flags[0] & 2;
    result.facts.known = flags[0] & 4;
    for (std::string *text : {&result.title, &result.file, &result.channel, &result.sampleText, &result.message,
                              &result.err, &result.startErr})
        if (!reader.String(*text))
            return false;
    std::string file, subsongs;
    if (!reader.String(file) || file.size() != sizeof result.facts.file || !reader.String(subsongs) ||
        !ItemsOf(subsongs, result.facts.subsongs))
        return false;
    std::memcpy(static_cast<void *>(&result.facts.file), file.data(), file.size());
    return true;
}

// The cores this process may run on (taskset, a container's share), at least 1.
int UsableCores()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0)
        return CPU_COUNT(&allowed);
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? int(online) : 1;
}

// One byte of the pool taken, or false on a signal. A blocked read wakes one waiter
// a byte, where a poll would wake them all.
bool TakeTurn(int pool)
{
    char token = 0;
    return RetryOnEintr([&] { return read(pool, &token, 1); }, PendingSignal) == 1;
}

void EndTurn(int pool)
{
    const char token = 0;
    RetryOnEintr([&] { return write(pool, &token, 1); });
}

// A worker: a file name in, its result out, until the main process closes the socket.
[[noreturn]] void Serve(int socket, const int (&pool)[2], PluginHost &host)
{
    // This process's one thread is not the one the parent's handlers were set for.
    InstallSignalHandlers();
    bool started = false;
    std::string file, startErr;
    while (!PendingSignal() && ReceiveMessage(socket, file)) {
        // Starting the plug-in is work of a turn too.
        if (!TakeTurn(pool[0]))
            break;
        if (!started) {
            std::string error;
            {
                StderrCapture capture(startErr);
                started = host.Start(error);
            }
            if (!started) {
                EndTurn(pool[1]);
                InfoResult failed;
                failed.startErr = startErr + "tessel: " + ForTerminal(error) + "\n";
                SendMessage(socket, Encode(failed));
                break;
            }
        }
        InfoResult result = ReadInfo(host, file);
        // What the module took goes back to the system before the plug-in's Stop waits:
        // the workers' memory together stays near that of one process.
        malloc_trim(0);
        EndTurn(pool[1]);
        result.startErr = startErr; // the main process tells each text once
        bool sent = SendMessage(socket, Encode(result));
        host.Stop();
        if (!sent)
            break;
    }
    if (started)
        host.Module().Quit();
    if (int signal = PendingSignal())
        DieBySignal(signal);
    _exit(0); // nothing of the parent's (stdio buffers, exit handlers) runs twice
}

} // namespace

void ChooseSilentOutput()
{
    // The offline output renders nothing until a host pulls, and this one never does:
    // the music plays without a sound, a frame rendered or a thread pacing it.
    static const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    TesselBass_SetOutputFile(TESSEL_OUTPUT_OFFLINE, nowhere);
}

int InfoWorkers::CountFor(const std::vector<std::string> &files)
{
    // One file is answered faster by the main process than by starting another.
    if (files.size() < 2)
        return 0;
    int count = std::min(UsableCores() * kWorkersPerCore, kMaxWorkers);
    uint64_t largest = 1;
    for (const std::string &file : files) {
        struct stat status {};
        if (stat(file.c_str(), &status) == 0)
            largest = std::max(largest, uint64_t(status.st_size));
    }
    count = std::min<uint64_t>(count, std::max<uint64_t>(1, kLoadedBudgetBytes / largest));
    return std::min(count, int(files.size()));
}

std::unique_ptr<InfoWorkers> InfoWorkers::Start(int count, PluginHost &host)
{
    // The engine's tables, some 10 ms of work at its first module, built once here
    // before the fork: every worker shares them.
    TesselBass_WarmUp();
    std::unique_ptr<InfoWorkers> workers(new InfoWorkers);
    if (pipe2(workers->tokens_, O_CLOEXEC) != 0)
        return nullptr;
    for (int turns = UsableCores(); turns > 0; --turns)
        workers->ReplaceToken();
    for (int i = 0; i < count; ++i) {
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            break;
        const pid_t parent = getpid();
        pid_t pid = fork();
        if (pid == 0) {
            // A worker waiting for its turn would not see the main process go: the
            // system ends it then, even after a kill -9.
            if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)
                _exit(1);
            close(pair[0]);
            for (const Worker &earlier : workers->workers_)
                close(earlier.socket);
            Serve(pair[1], workers->tokens_, host);
        }
        close(pair[1]);
        if (pid < 0) {
            close(pair[0]);
            break;
        }
        workers->workers_.push_back({pid, pair[0], -1});
    }
    if (workers->workers_.empty())
        return nullptr;
    return workers;
}

InfoWorkers::~InfoWorkers()
{
    Stop(false);
    for (int &end : tokens_)
        if (end >= 0)
            close(end);
}

void InfoWorkers::ReplaceToken()
{
    EndTurn(tokens_[1]);
}

void InfoWorkers::Stop(bool now)
{
    for (Worker &worker : workers_) {
        if (worker.socket >= 0)
            close(worker.socket); // a worker waiting for a file ends
        worker.socket = -1;
        if (now && worker.pid > 0)
            kill(worker.pid, SIGKILL); // it holds nothing that needs a tidy end
    }
    for (Worker &worker : workers_) {
        if (worker.pid <= 0)
            continue;
        RetryOnEintr([&] { return waitpid(worker.pid, nullptr, 0); });
        worker.pid = -1;
    }
}

void InfoWorkers::Run(const std::vector<std::string> &files,
                      const std::function<bool(size_t, const InfoResult &)> &report)
{
    size_t next = 0, reported = 0;
    std::map<size_t, InfoResult> waiting; // results ahead of their turn
    auto handOut = [&](Worker &worker) {
        while (next < files.size()) {
            std::string file = files[next];
            if (SendMessage(worker.socket, file)) {
                worker.file = long(next++);
                return;
            }
            if (PendingSignal())
                return;
            // A worker that is gone takes no more files; another does this one.
            close(worker.socket);
            worker.socket = -1;
            return;
        }
        worker.file = -1;
    };
    for (Worker &worker : workers_)
        handOut(worker);

    bool stopped = false;
    while (reported < files.size() && !stopped) {
        std::vector<pollfd> fds;
        std::vector<Worker *> busy;
        for (Worker &worker : workers_)
            if (worker.socket >= 0 && worker.file >= 0) {
                fds.push_back({worker.socket, POLLIN, 0});
                busy.push_back(&worker);
            }
        if (busy.empty()) {
            // Every worker is gone: what is left fails, as a file the plug-in could not
            // answer for.
            for (; next < files.size(); ++next) {
                InfoResult lost;
                lost.err = "tessel: the Module Info of " + ForTerminal(files[next]) + " could not be read\n";
                waiting[next] = lost;
            }
        } else if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno != EINTR || PendingSignal())
                stopped = true;
            continue;
        }
        for (size_t i = 0; i < busy.size() && !stopped; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            Worker &worker = *busy[i];
            std::string body;
            InfoResult result;
            if (!ReceiveMessage(worker.socket, body) || !Decode(body, result)) {
                if (PendingSignal()) {
                    stopped = true;
                    break;
                }
                result = InfoResult{};
                result.err = "tessel: the Module Info of " + ForTerminal(files[size_t(worker.file)]) +
                             " could not be read: its process ended\n";
                close(worker.socket);
                worker.socket = -1;
                ReplaceToken();
            }
            waiting[size_t(worker.file)] = std::move(result);
            worker.file = -1;
            if (worker.socket >= 0)
                handOut(worker);
        }
        for (auto found = waiting.find(reported); found != waiting.end() && !stopped; found = waiting.find(reported)) {
            stopped = !report(reported, found->second) || PendingSignal();
            waiting.erase(found);
            ++reported;
        }
        stopped = stopped || PendingSignal();
    }
    Stop(true);
}

} // namespace tessel::host
