#include "host_support.h"

#include "songs.h"

#include <windows.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace hosttest {
namespace {

const char kSettingsKey[] = "Software\\Vantrel\\Velkin\\0.8";

// A shell word: the text in single quotes.
std::string Quote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    ssize_t count;
    while ((count = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, size_t(count));
    return text;
}

int StatusOf(int waitStatus)
{
    if (WIFEXITED(waitStatus))
        return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus))
        return 128 + WTERMSIG(waitStatus);
    return -1;
}

// Starts a program in folder with these variables added to the environment, standard
// input from /dev/null and its output into out and err (-1: /dev/null).
pid_t Spawn(const std::vector<std::string> &argv, const std::string &folder,
            const std::vector<std::string> &environment, int out, int err)
{
    pid_t pid = fork();
    if (pid == 0) {
        int nul = open("/dev/null", O_RDWR);
        dup2(nul, 0);
        dup2(out >= 0 ? out : nul, 1);
        dup2(err >= 0 ? err : nul, 2);
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        // As from an interactive shell, however the tests were started: a background
        // job's shell, for one, leaves SIGINT ignored, and tessel keeps what it inherits.
        for (int signal : {SIGINT, SIGQUIT, SIGTERM, SIGHUP})
            ::signal(signal, SIG_DFL);
        for (const std::string &assignment : environment)
            putenv(const_cast<char *>(assignment.c_str()));
        std::vector<char *> args;
        for (const std::string &arg : argv)
            args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// Runs a program with its output captured; gives up (killing it) after the limit.
RunResult RunProgram(const std::vector<std::string> &argv, const std::string &folder,
                     const std::vector<std::string> &environment, std::chrono::seconds limit = std::chrono::seconds(60))
{
    RunResult result;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe failed";
        return result;
    }
    pid_t pid = Spawn(argv, folder, environment, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    // Both pipes at once, so a chatty stderr cannot block the program.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open = 2;
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (open > 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            ADD_FAILURE() << argv[0] << " did not end within " << limit.count() << " s";
            break;
        }
        if (poll(fds, 2, 200) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                sinks[i]->append(buffer, size_t(count));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd &fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = StatusOf(status);
    return result;
}

} // namespace

void HostTest::SetUp()
{
    temp_ = std::make_unique<testkit::TempFolder>("tessel-host-test");
    folder_ = temp_->Path();
    configHome_ = folder_ + "/config";
    mkdir(configHome_.c_str(), 0700);
}

void HostTest::TearDown()
{
    temp_.reset();
}

std::string HostTest::Write(const std::string &name, const Bytes &bytes)
{
    std::string path = Path(name);
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    EXPECT_TRUE(file.good()) << "cannot write " << path;
    return path;
}

std::string HostTest::Write(const std::string &name, const std::string &text)
{
    return Write(name, Bytes(text.begin(), text.end()));
}

std::string HostTest::WriteTune(const std::string &name, const std::string &title, int orders, int rows)
{
    modwriter::Tune song = samplegen::TestSong(title, orders, rows);
    bool it = name.size() > 3 && name.compare(name.size() - 3, 3, ".it") == 0;
    return Write(name, it ? modwriter::WriteIt(song) : modwriter::WriteXm(song));
}

std::string HostTest::WriteSubsongs(const std::string &name, int rows)
{
    modwriter::Tune song = samplegen::TestSong("Subsongs", 5, rows);
    song.song.patterns[1].At(rows - 1, 3) =
        modwriter::Cell{modwriter::kNoNote, 0, modwriter::kNoVolume, modwriter::Effect::Jump, 0};
    return Write(name, modwriter::WriteXm(song));
}

RunResult HostTest::Run(const std::vector<std::string> &arguments)
{
    return RunIn("C.UTF-8", arguments);
}

RunResult HostTest::RunIn(const std::string &locale, const std::vector<std::string> &arguments)
{
    std::vector<std::string> argv = {TESSEL_BINARY};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProgram(argv, folder_, {"XDG_CONFIG_HOME=" + configHome_, "LC_ALL=" + locale});
}

RunResult HostTest::RunShell(const std::string &command, std::chrono::seconds limit)
{
    return RunProgram({"/bin/sh", "-c", command}, folder_, {"XDG_CONFIG_HOME=" + configHome_, "LC_ALL=C.UTF-8"}, limit);
}

pid_t HostTest::Start(const std::vector<std::string> &arguments, int out)
{
    std::vector<std::string> argv = {TESSEL_BINARY};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return Spawn(argv, folder_, {"XDG_CONFIG_HOME=" + configHome_, "LC_ALL=C.UTF-8"}, out, -1);
}

void HostTest::WriteSettings(int32_t device, uint32_t freq, uint32_t devflags, uint32_t modflags)
{
    // The store is read afresh on every call, from the folder named at that moment.
    std::string previous = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, &disposition));
    const std::pair<const char *, uint32_t> values[] = {
        {"device", uint32_t(device)}, {"freq", freq}, {"devflags", devflags}, {"modflags", modflags}};
    for (const auto &[name, value] : values)
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), 4));
    RegCloseKey(key);
    setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
}

Bytes ReadFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool Exists(const std::string &path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

Terminal::Terminal(const std::string &folder, const std::string &configHome, const std::vector<std::string> &arguments,
                   int width, int height, const std::string &locale, const std::string &environment)
{
    // A server of its own each time: one just killed may still hold the last socket.
    static int terminals = 0;
    socket_ = folder + "/tmux-" + std::to_string(++terminals) + ".socket";
    pidFile_ = folder + "/tessel.pid";
    std::string command = "cd " + Quote(folder) + " && echo $$ > " + Quote(pidFile_) +
                          " && unset LC_ALL LC_CTYPE && LANG=" + Quote(locale) +
                          " XDG_CONFIG_HOME=" + Quote(configHome) + " " + environment + " exec " + Quote(TESSEL_BINARY);
    for (const std::string &arg : arguments)
        command += " " + Quote(arg);
    // The shell outlives tessel (Ctrl-C included) to report how it ended and what the
    // terminal is left in, the modes in one write so that no test reads half of them.
    std::string shell = "trap : INT; sh -c " + Quote(command) +
                        "; echo \"exit status $?\"; "
                        "echo \"terminal:$(stty -a | tr ' ;' '\\n\\n' | grep -x -E -- '-?(icanon|echo|isig)' | "
                        "tr '\\n' ' ')\"; sleep 600";
    Tmux({"-f", "/dev/null", "new-session", "-d", "-x", std::to_string(width), "-y", std::to_string(height), "-s",
          "host", "sh -c " + Quote(shell)});
}

Terminal::~Terminal()
{
    Tmux({"kill-server"});
}

std::string Terminal::Tmux(const std::vector<std::string> &arguments) const
{
    std::string command = "tmux -S " + Quote(socket_);
    for (const std::string &arg : arguments)
        command += " " + Quote(arg);
    command += " 2>/dev/null";
    std::string output;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        output = ReadAll(fileno(pipe));
        pclose(pipe);
    }
    return output;
}

std::string Terminal::Screen() const
{
    return Tmux({"capture-pane", "-p", "-t", "host"});
}

void Terminal::Keys(const std::vector<std::string> &keys) const
{
    for (const std::string &key : keys) {
        Tmux({"send-keys", "-t", "host", key});
        // One key at a time, as typed: an Escape followed at once by another key
        // would read as Alt and that key.
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
}

bool Terminal::WaitFor(const std::function<bool(const std::string &)> &test, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        last_ = Screen();
        if (test(last_))
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool Terminal::WaitFor(const std::string &text, std::chrono::milliseconds timeout)
{
    return WaitFor([&](const std::string &screen) { return screen.find(text) != std::string::npos; }, timeout);
}

bool Terminal::WaitForGone(const std::string &text, std::chrono::milliseconds timeout)
{
    return WaitFor([&](const std::string &screen) { return screen.find(text) == std::string::npos; }, timeout);
}

int Terminal::ExitStatus(std::chrono::milliseconds timeout)
{
    if (!WaitFor("exit status ", timeout))
        return -1;
    size_t at = last_.find("exit status ");
    return std::atoi(last_.c_str() + at + 12);
}

int Terminal::Pid() const
{
    std::ifstream file(pidFile_);
    int pid = 0;
    file >> pid;
    return pid;
}

void Terminal::Close()
{
    Tmux({"kill-server"});
}

std::string ScreenLine(const std::string &screen, const std::string &label)
{
    std::istringstream lines(screen);
    std::string line;
    while (std::getline(lines, line)) {
        size_t start = line.find_first_not_of(' ');
        if (start != std::string::npos && line.compare(start, label.size(), label) == 0)
            return line;
    }
    return "";
}

int ShownPosition(const std::string &screen)
{
    std::string line = ScreenLine(screen, "Position");
    int position = -1, length = -1;
    if (line.empty() || std::sscanf(line.c_str(), " Position %d / %d", &position, &length) != 2)
        return -1;
    return position;
}

} // namespace hosttest
