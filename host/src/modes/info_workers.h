// tessel --info over a collection: worker processes, each with a plug-in of its own.
//
// One file's answer takes the plug-in a millisecond or two of work and 20 ms of
// waiting: Stop waits for the monitor thread's 20 ms pass, as in any host. Many
// processes wait at once; each sends its answer before it stops the music, so the
// answers come while the waits go on, and they are printed in the files' order.
// Only as many as there are cores work at a time (they take turns through a pool of
// tokens), so that only that many hold a module: a waiting worker holds almost nothing.
#pragma once

#include "hosting/plugin_host.h"
#include "modes/module_facts.h"
#include "terminal/stderr_backends.h"

#include <tessel/ui_backend.h>

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessel::host {

// What one file gave: the dialog's five fields, whether it played, the sound
// library's facts, and what the plug-in and tessel said on stderr meanwhile.
struct InfoResult {
    bool played = false; // Play succeeded: the title is this file's own
    bool opened = false; // the dialog opened and was read
    std::string title, file, channel, sampleText, message;
    ModuleFacts facts; // asked only of a file that played and showed its dialog
    std::string err;
    std::string startErr; // what the worker's plug-in said as it started
};

// The output for --info, chosen before the plug-in's first Play.
void ChooseSilentOutput();

// Plays the file silently, reads its Module Info dialog, ends the library's session
// and asks the library for the file's facts; the caller stops the plug-in.
InfoResult ReadInfo(PluginHost &host, const std::string &file);

class InfoWorkers {
public:
    // Forks the workers while this process has one thread and has loaded the plug-in
    // but not started it: each starts its own copy when it gets its first file. In a
    // worker this never returns. nullptr when no worker could be started.
    static std::unique_ptr<InfoWorkers> Start(int count, PluginHost &host);
    // Ends the workers that Run has not ended and waits for them.
    ~InfoWorkers();
    InfoWorkers(const InfoWorkers &) = delete;
    InfoWorkers &operator=(const InfoWorkers &) = delete;

    // Hands out the files, and gives each result to report in the files' order as soon
    // as it and every earlier one are in. Stops early when report returns false or a
    // signal arrives. The workers are ended at once when it returns: what is left to
    // them is stopping a silent music.
    void Run(const std::vector<std::string> &files, const std::function<bool(size_t, const InfoResult &)> &report);

    // How many workers suit these files.
    static int CountFor(const std::vector<std::string> &files);

private:
    struct Worker {
        pid_t pid = -1;
        int socket = -1;
        long file = -1; // the file it works on, or -1
    };
    InfoWorkers() = default;
    void Stop(bool now);
    // A worker that ended during its turn took its token with it: put one back.
    void ReplaceToken();

    std::vector<Worker> workers_;
    int tokens_[2] = {-1, -1}; // the pool: a byte a turn to read, and to write back
};

} // namespace tessel::host
