// tessel --info against openmpt123 --info over a collection of 42 modules of the four
// formats, both programs run on the whole collection in turn, in pairs, with their
// output thrown away. Prints the median wall time of each, the median and quartiles of
// the pairs' ratios (the goal: at most 2, over modules the size of real ones), and the
// CPU time of each (the children's user and system time). The same over the host
// tests' small tunes, where openmpt123 has little to do, follows for comparison.
#include "songs.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int kPairs = 15;
constexpr double kGoal = 2.0;

struct Timing {
    double wall = 0; // seconds
    double cpu = 0;  // seconds, user and system
    int status = -1;
};

// Runs argv with stdin and stdout on /dev/null (stderr too), in folder.
Timing Run(const std::vector<std::string> &argv, const std::string &folder)
{
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int nul = open("/dev/null", O_RDWR);
        dup2(nul, 0);
        dup2(nul, 1);
        dup2(nul, 2);
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        std::vector<char *> args;
        for (const std::string &arg : argv)
            args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    Timing timing;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    timing.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    timing.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    timing.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return timing;
}

double Quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values[size_t(q * double(values.size() - 1) + 0.5)];
}

void Write(const std::string &path, const modwriter::Bytes &bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                std::streamsize(bytes.size()));
}

// A collection of files in folder: names relative to it.
using Collection = std::vector<std::string>;

// The tune as stem.mod, .s3m, .xm and .it in folder, added to files.
void WriteInEveryFormat(const std::string &folder, const std::string &stem, const modwriter::Tune &tune,
                        Collection &files)
{
    for (auto [extension, write] : {std::pair{".mod", &modwriter::WriteMod}, std::pair{".s3m", &modwriter::WriteS3m},
                                    std::pair{".xm", &modwriter::WriteXm}, std::pair{".it", &modwriter::WriteIt}}) {
        Write(folder + "/" + stem + extension, write(tune));
        files.push_back(stem + extension);
    }
}

// Modules of the size real ones have: songs of two to four minutes, instruments with
// tens of kilobytes of sample data; the demo tune's, in the four formats.
Collection RealisticModules(const std::string &folder)
{
    Collection files;
    for (int i = 0; i < 11; ++i) {
        modwriter::Tune tune = samplegen::DemoSong();
        tune.song.title = "Collection " + std::to_string(i);
        // The verses again and again: 46 s becomes two to four minutes.
        std::vector<uint8_t> orders = {0};
        for (int verse = 0; verse < 8 + 2 * i; ++verse)
            orders.insert(orders.end(), {1, 2});
        orders.push_back(3);
        tune.song.orders = orders;
        for (size_t s = 0; s < tune.samples.size(); ++s) {
            // Data past a loop's end is never heard; it stands for a recorded sample.
            std::vector<int8_t> &data = tune.samples[s].data;
            size_t size = 16384 + 4096 * ((i + s) % 8);
            for (size_t at = data.size(); at < size; ++at)
                data.push_back(int8_t((at * 37 + s * 11) % 61 - 30));
        }
        WriteInEveryFormat(folder, "real" + std::to_string(i), tune, files);
    }
    files.resize(42);
    return files;
}

// The host tests' short tunes: a few seconds each, a few hundred bytes of samples.
Collection SmallModules(const std::string &folder)
{
    Collection files;
    for (int i = 0; i < 11; ++i) {
        modwriter::Tune tune = i < 10 ? samplegen::TestSong("Tune " + std::to_string(i), 2 + i * 3, 16 + 8 * (i % 4))
                                      : samplegen::DemoSong();
        WriteInEveryFormat(folder, "small" + std::to_string(i), tune, files);
    }
    files.resize(42);
    return files;
}

// Both programs over the collection in pairs; true when the goal is met.
bool Compare(const char *what, const Collection &files, const std::string &folder, int &failures)
{
    std::vector<std::string> tessel = {TESSEL_BINARY, "--info"}, openmpt = {OPENMPT123_PATH, "--info"};
    tessel.insert(tessel.end(), files.begin(), files.end());
    openmpt.insert(openmpt.end(), files.begin(), files.end());
    Run(tessel, folder); // warm: the page cache, the settings file
    Run(openmpt, folder);
    std::vector<double> tesselWall, openmptWall, ratios, tesselCpu, openmptCpu;
    for (int pair = 0; pair < kPairs; ++pair) {
        // Alternating which goes first, so neither always meets a warmer machine.
        Timing a, b;
        if (pair % 2 == 0) {
            a = Run(tessel, folder);
            b = Run(openmpt, folder);
        } else {
            b = Run(openmpt, folder);
            a = Run(tessel, folder);
        }
        failures += a.status != 0 || b.status != 0;
        tesselWall.push_back(a.wall);
        openmptWall.push_back(b.wall);
        ratios.push_back(a.wall / b.wall);
        tesselCpu.push_back(a.cpu);
        openmptCpu.push_back(b.cpu);
    }
    double n = double(files.size());
    std::printf("\n%s: %zu modules, %d pairs of runs\n", what, files.size(), kPairs);
    std::printf("  %-20s %10s %12s %10s %12s\n", "", "wall ms", "ms per file", "CPU ms", "CPU per file");
    for (auto [name, wall, cpu] : {std::tuple{"tessel --info", &tesselWall, &tesselCpu},
                                   std::tuple{"openmpt123 --info", &openmptWall, &openmptCpu}})
        std::printf("  %-20s %10.1f %12.2f %10.1f %12.2f\n", name, Quantile(*wall, 0.5) * 1e3,
                    Quantile(*wall, 0.5) * 1e3 / n, Quantile(*cpu, 0.5) * 1e3, Quantile(*cpu, 0.5) * 1e3 / n);
    double ratio = Quantile(ratios, 0.5);
    std::printf("  wall ratio tessel/openmpt123: median %.2f (quartiles %.2f .. %.2f)\n", ratio, Quantile(ratios, 0.25),
                Quantile(ratios, 0.75));
    std::printf("  CPU ratio: %.2f\n", Quantile(tesselCpu, 0.5) / Quantile(openmptCpu, 0.5));
    return ratio <= kGoal;
}

} // namespace

int main()
{
    if (!*OPENMPT123_PATH || access(OPENMPT123_PATH, X_OK) != 0) {
        std::printf("openmpt123 is not installed: nothing to compare with\n");
        return 1;
    }
    char pattern[] = "/tmp/bench-info-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::string folder = pattern;
    // The settings of a run of its own, whatever the machine's.
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    std::printf("tessel --info against openmpt123 --info, %ld cores online; goal: tessel's wall time at most %.1f x\n",
                sysconf(_SC_NPROCESSORS_ONLN), kGoal);
    int failures = 0;
    bool met = Compare("Modules the size of real ones (the goal's collection)", RealisticModules(folder), folder,
                       failures);
    Compare("Small test tunes (for comparison: openmpt123 has little to do)", SmallModules(folder), folder, failures);
    std::printf("\ngoal %s\n", met ? "met" : "missed");
    if (failures)
        std::printf("%d pairs had a run that did not exit 0\n", failures);
    std::string command = "rm -rf '" + folder + "'";
    if (std::system(command.c_str()) != 0)
        std::printf("could not remove %s\n", folder.c_str());
    return failures ? 1 : 0;
}
