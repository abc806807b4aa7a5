// What the host's tests share: a private folder (with its own settings store) for
// each test, modules written into it, tessel run with pipes, and tessel run in a
// pseudo-terminal under a private tmux server whose screen the test reads.
#pragma once

#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <sys/types.h>
#include <string>
#include <vector>

namespace hosttest {

using Bytes = std::vector<uint8_t>;

struct RunResult {
    int status = -1; // exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
};

class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::string &Folder() const { return folder_; }
    const std::string &ConfigHome() const { return configHome_; }
    std::string Path(const std::string &name) const { return folder_ + "/" + name; }
    std::string Write(const std::string &name, const Bytes &bytes);
    std::string Write(const std::string &name, const std::string &text);
    // A short playable tune from the sample generator: XM or IT by the name's extension.
    std::string WriteTune(const std::string &name, const std::string &title, int orders, int rows);
    // An XM of two subsongs titled "Subsongs": orders 0-1 jump back to 0, orders 2-4 run
    // to the end of the list; rows rows an order, each order a different note.
    std::string WriteSubsongs(const std::string &name, int rows);

    // tessel with these arguments, standard input from /dev/null, in the test's folder,
    // with its settings store and in the C.UTF-8 locale.
    RunResult Run(const std::vector<std::string> &arguments);
    // The same in another locale (LC_ALL).
    RunResult RunIn(const std::string &locale, const std::vector<std::string> &arguments);
    // A shell command line, run as Run runs tessel (where the test needs a pipeline or
    // a redirection), killed after the limit.
    RunResult RunShell(const std::string &command, std::chrono::seconds limit = std::chrono::seconds(60));
    // tessel started as Run starts it, its standard output into the descriptor out,
    // its standard error to /dev/null; the caller waits for it.
    pid_t Start(const std::vector<std::string> &arguments, int out);

    // Settings straight into the store, as the configuration dialog's OK writes them.
    void WriteSettings(int32_t device, uint32_t freq, uint32_t devflags, uint32_t modflags);

private:
    std::unique_ptr<testkit::TempFolder> temp_;
    std::string folder_;
    std::string configHome_;
};

Bytes ReadFile(const std::string &path);
bool Exists(const std::string &path);

// tessel in a terminal of width x height cells, in the locale named (LANG, with the
// LC_ variables that would override it unset), whatever the machine's own. When it
// ends, the shell around it prints "exit status N" and the terminal modes that matter
// ("terminal: ..."), then waits, so the test can read both from the screen.
class Terminal {
public:
    // environment: assignments for tessel's command line ("TERM=...").
    Terminal(const std::string &folder, const std::string &configHome, const std::vector<std::string> &arguments,
             int width = 120, int height = 40, const std::string &locale = "C.UTF-8",
             const std::string &environment = "");
    ~Terminal();
    Terminal(const Terminal &) = delete;
    Terminal &operator=(const Terminal &) = delete;

    std::string Screen() const;
    // tmux key names: "Space", "Right", "Tab", "Escape", "C-c", "q", ...
    void Keys(const std::vector<std::string> &keys) const;
    // Waits until the screen satisfies the test (or contains the text); on a timeout
    // returns false and leaves the last screen in LastScreen().
    bool WaitFor(const std::function<bool(const std::string &)> &test,
                 std::chrono::milliseconds timeout = std::chrono::seconds(15));
    bool WaitFor(const std::string &text, std::chrono::milliseconds timeout = std::chrono::seconds(15));
    bool WaitForGone(const std::string &text, std::chrono::milliseconds timeout = std::chrono::seconds(15));
    const std::string &LastScreen() const { return last_; }
    // Waits for tessel to end and gives its exit status (-1 on a timeout).
    int ExitStatus(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // The process id of tessel.
    int Pid() const;
    // Closes the terminal under tessel, as closing the window does.
    void Close();

private:
    std::string Tmux(const std::vector<std::string> &arguments) const;

    std::string socket_;
    std::string pidFile_;
    std::string last_;
};

// The line of the screen that starts (after blanks) with label, or "".
std::string ScreenLine(const std::string &screen, const std::string &label);
// The order position shown on the player's screen ("Position  3 / 8"), -1 if none.
int ShownPosition(const std::string &screen);

} // namespace hosttest
