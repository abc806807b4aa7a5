// tessel --info against openmpt123 --info over 42 modules the size of real ones, each run
// on the whole collection in turn, in pairs, output thrown away: the median wall times, and
// the median of the pairs' ratios against the goal of at most 2. Then the peak memory of
// each (all its processes together, each page once) over the collection and over a few
// big modules, in pairs too, against the same goal. Run it on a busy machine too (another core
// kept busy: yes > /dev/null &).
#include "songs.h"
#include "tests/support/temp_folder.h"

#include <fcntl.h>
#include <spawn.h>
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <string>
#include <tuple>
#include <unordered_set>
#include <vector>

extern char **environ;

namespace {

constexpr size_t kModules = 42;
constexpr int kPairs = 15;
constexpr int kMemoryPairs = 5;
constexpr double kGoal = 2.0;

// The process and its descendants, now.
std::set<pid_t> Family(pid_t root)
{
    std::set<pid_t> family = {root};
    for (size_t before = 0; before != family.size();) {
        before = family.size();
        DIR *proc = opendir("/proc");
        while (dirent *entry = proc ? readdir(proc) : nullptr) {
            pid_t pid = pid_t(std::atoi(entry->d_name));
            std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
            std::string line;
            if (pid <= 0 || !std::getline(stat, line) || line.rfind(')') == std::string::npos)
                continue;
            std::istringstream rest(line.substr(line.rfind(')') + 2));
            char state = 0;
            pid_t parent = 0;
            rest >> state >> parent;
            if (family.count(parent))
                family.insert(pid);
        }
        if (proc)
            closedir(proc);
    }
    return family;
}

// What a process tree holds in memory, in kB, two ways.
struct MemoryKb {
    // Proportional set sizes: a shared page divided among every process that maps it,
    // those outside the tree too, so it moves with whatever else runs.
    long proportional = 0;
    // Every page resident in any of them, once: what the run costs the machine. From
    // the page frames in /proc/PID/pagemap, which only root reads (0 otherwise).
    long held = 0;
};

long ProportionalKb(pid_t pid)
{
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string name;
    long kb = 0;
    while (rollup >> name)
        if (name == "Pss:" && rollup >> kb)
            return kb;
    return 0;
}

// Adds the page frames resident in pid to frames; false when they cannot be read.
bool AddFrames(pid_t pid, std::unordered_set<uint64_t> &frames)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    int pagemap = open((proc + "/pagemap").c_str(), O_RDONLY | O_CLOEXEC);
    if (pagemap < 0)
        return true; // gone already
    std::ifstream maps(proc + "/maps");
    const uint64_t pageBytes = uint64_t(sysconf(_SC_PAGESIZE));
    constexpr uint64_t kPresent = 1ull << 63, kFrameMask = (1ull << 55) - 1;
    bool readable = true;
    std::vector<uint64_t> entries;
    std::string line;
    while (readable && std::getline(maps, line)) {
        unsigned long from = 0, to = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx", &from, &to) != 2 || line.find("[vsyscall]") != std::string::npos)
            continue;
        entries.resize((to - from) / pageBytes);
        ssize_t got = pread(pagemap, entries.data(), entries.size() * 8, off_t(from / pageBytes * 8));
        for (ssize_t i = 0; i < got / 8; ++i)
            if (entries[size_t(i)] & kPresent) {
                readable = (entries[size_t(i)] & kFrameMask) != 0;
                frames.insert(entries[size_t(i)] & kFrameMask);
            }
    }
    close(pagemap);
    return readable;
}

MemoryKb MemoryOf(const std::set<pid_t> &family)
{
    MemoryKb memory;
    std::unordered_set<uint64_t> frames;
    bool readable = true;
    for (pid_t pid : family) {
        memory.proportional += ProportionalKb(pid);
        readable = readable && AddFrames(pid, frames);
    }
    memory.held = readable ? long(frames.size() * uint64_t(sysconf(_SC_PAGESIZE)) / 1024) : 0;
    return memory;
}

// The wall seconds of argv, its standard streams on /dev/null; ok turns false unless it
// exits 0. With peak, the memory of it and its children is looked at every few ms
// (which slows it: such runs are not timed).
double Run(const std::vector<std::string> &argv, bool &ok, MemoryKb *peak = nullptr)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        while (peak && waitpid(pid, &status, WNOHANG) == 0) {
            const MemoryKb now = MemoryOf(Family(pid));
            peak->proportional = std::max(peak->proportional, now.proportional);
            peak->held = std::max(peak->held, now.held);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (!peak)
            waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    ok = ok && status == 0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void WriteFile(const std::string &name, const modwriter::Bytes &bytes)
{
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    if (!*OPENMPT123_PATH || access(OPENMPT123_PATH, X_OK) != 0) {
        std::printf("openmpt123 is not installed: nothing to compare with\n");
        return 1;
    }
    const testkit::TempFolder temp("bench-info");
    const std::string folder = temp.Path();
    if (chdir(folder.c_str()) != 0)
        return 1;
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1); // settings of its own, whatever the machine's

    // The demo tune grown to two to four minutes, its samples to tens of kilobytes (data
    // past a loop's end is never heard), in the four formats.
    std::vector<std::string> tessel = {TESSEL_BINARY, "--info"}, openmpt = {OPENMPT123_PATH, "--info"};
    for (int i = 0; tessel.size() < 2 + kModules; ++i) {
        modwriter::Tune tune = samplegen::DemoSong();
        tune.song.orders = {0};
        for (int verse = 0; verse < 8 + 2 * i; ++verse)
            tune.song.orders.insert(tune.song.orders.end(), {1, 2});
        tune.song.orders.push_back(3);
        for (size_t s = 0; s < tune.samples.size(); ++s)
            for (size_t at = tune.samples[s].data.size(); at < 16384 + 4096 * ((i + s) % 8); ++at)
                tune.samples[s].data.push_back(int8_t((at * 37 + s * 11) % 61 - 30));
        for (auto [extension, write] : {std::pair{".mod", modwriter::WriteMod}, std::pair{".s3m", modwriter::WriteS3m},
                                        std::pair{".xm", modwriter::WriteXm}, std::pair{".it", modwriter::WriteIt}}) {
            if (tessel.size() == 2 + kModules)
                break;
            const std::string name = "real" + std::to_string(i) + extension;
            WriteFile(name, write(tune));
            tessel.push_back(name);
            openmpt.push_back(name);
        }
    }

    bool ok = true;
    Run(tessel, ok); // warm: the page cache, the settings file
    Run(openmpt, ok);
    std::vector<double> tesselWall, openmptWall, ratios;
    for (int pair = 0; pair < kPairs; ++pair) {
        // Each goes first in turn, so neither always meets a warmer machine.
        double a = 0, b = 0;
        if (pair % 2 == 0)
            a = Run(tessel, ok);
        b = Run(openmpt, ok);
        if (pair % 2 == 1)
            a = Run(tessel, ok);
        tesselWall.push_back(a);
        openmptWall.push_back(b);
        ratios.push_back(a / b);
    }
    std::printf("tessel --info against openmpt123 --info over %zu modules, %d pairs of runs, %ld cores online\n",
                kModules, kPairs, sysconf(_SC_NPROCESSORS_ONLN));
    for (auto [name, wall] : {std::pair{"tessel", &tesselWall}, std::pair{"openmpt123", &openmptWall}})
        std::printf("  %-10s %7.1f ms (%.2f ms a file)\n", name, Median(*wall) * 1e3,
                    Median(*wall) * 1e3 / double(kModules));
    const double ratio = Median(ratios);
    std::printf("  wall ratio tessel/openmpt123: %.2f; goal at most %.1f: %s\n", ratio, kGoal,
                ratio <= kGoal ? "met" : "missed");

    // Peak memory: the collection, and six modules of 24 MB of samples each, as many as
    // a 2-core machine gets workers.
    std::vector<std::string> bigTessel = {TESSEL_BINARY, "--info"}, bigOpenmpt = {OPENMPT123_PATH, "--info"};
    for (int i = 0; i < 6; ++i) {
        modwriter::Tune tune = samplegen::DemoSong();
        for (size_t s = 0; s < tune.samples.size(); ++s)
            tune.samples[s].data.resize((24 << 20) / tune.samples.size(), int8_t(i + s));
        const std::string name = "big" + std::to_string(i) + (i % 2 ? ".it" : ".xm");
        WriteFile(name, i % 2 ? modwriter::WriteIt(tune) : modwriter::WriteXm(tune));
        bigTessel.push_back(name);
        bigOpenmpt.push_back(name);
    }
    // Pairs again, and their medians: the pages held decide; the proportional sizes,
    // which other processes move, are shown beside them.
    for (auto [what, tesselArgs, openmptArgs] :
         {std::tuple{"the collection", &tessel, &openmpt}, std::tuple{"6 modules of 24 MB", &bigTessel, &bigOpenmpt}}) {
        std::vector<double> heldRatios, proportionalRatios, tesselKb, openmptKb;
        for (int pair = 0; pair < kMemoryPairs; ++pair) {
            MemoryKb a, b;
            Run(*tesselArgs, ok, &a);
            Run(*openmptArgs, ok, &b);
            tesselKb.push_back(double(a.held));
            openmptKb.push_back(double(b.held));
            heldRatios.push_back(b.held ? double(a.held) / double(b.held) : 0);
            proportionalRatios.push_back(b.proportional ? double(a.proportional) / double(b.proportional) : 0);
        }
        const double ratio = Median(heldRatios);
        std::printf("  peak memory over %s, median of %d pairs: tessel %.0f kB, openmpt123 %.0f kB held; ratio %.2f "
                    "(pairs %.2f to %.2f; of proportional sizes %.2f); goal at most %.1f: %s\n",
                    what, kMemoryPairs, Median(tesselKb), Median(openmptKb), ratio,
                    *std::min_element(heldRatios.begin(), heldRatios.end()),
                    *std::max_element(heldRatios.begin(), heldRatios.end()), Median(proportionalRatios), kGoal,
                    ratio == 0       ? "not measured (the page frames need root)"
                    : ratio <= kGoal ? "met"
                                     : "missed");
    }
    if (!ok)
        std::printf("a run did not exit 0\n");
    return ok ? 0 : 1;
}
