#include "modes/playlist.h"

#include "hosting/plugin_host.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

namespace tessel::host {
namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsPlaylist(const std::string &path)
{
    std::string name = path.substr(std::min(path.size(), path.rfind('/') + 1));
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return false;
    std::string extension = name.substr(dot + 1);
    for (char &c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == "m3u" || extension == "m3u8";
}

// The folder part of a path for the names a playlist there lists: "" for the current one.
std::string FolderOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

class Expander {
public:
    explicit Expander(const PluginHost &host) : host_(host) {}

    void Add(const std::string &path)
    {
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && IsPlaylist(path)))) {
            // A link back to a folder or playlist being opened would never end.
            auto identity = std::make_pair(info.st_dev, info.st_ino);
            if (!open_.insert(identity).second)
                return;
            bool read = S_ISDIR(info.st_mode) ? AddFolder(path) : AddPlaylist(path);
            open_.erase(identity);
            if (read)
                return;
        }
        files_.push_back(path); // to play, or to fail and say why
    }

    std::vector<std::string> Files() && { return std::move(files_); }

private:
    bool AddFolder(const std::string &folder)
    {
        std::vector<std::string> names;
        DIR *directory = opendir(folder.c_str());
        if (!directory)
            return false;
        while (dirent *entry = readdir(directory))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(directory);
        std::sort(names.begin(), names.end(), NaturalLess);
        std::string prefix = folder.back() == '/' ? folder : folder + "/";
        for (const std::string &name : names) {
            std::string path = prefix + name;
            struct stat info {};
            if (stat(path.c_str(), &info) != 0)
                continue; // a dangling link is no music
            // Inside a folder only what the plug-in plays counts; playlists there are
            // usually lists of the same files.
            if (S_ISDIR(info.st_mode))
                Add(path);
            else if (S_ISREG(info.st_mode) && host_.Accepts(path))
                files_.push_back(path);
        }
        return true;
    }

    bool AddPlaylist(const std::string &playlist)
    {
        std::ifstream stream(playlist, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        if (!stream.is_open() || stream.bad())
            return false;
        for (const std::string &entry : ReadM3u(text, FolderOf(playlist)))
            Add(entry);
        return true;
    }

    const PluginHost &host_;
    std::vector<std::string> files_;
    std::set<std::pair<dev_t, ino_t>> open_; // folders and playlists being expanded
};

} // namespace

bool NaturalLess(const std::string &a, const std::string &b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (!IsDigit(a[i]) || !IsDigit(b[j])) {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i, ++j;
            continue;
        }
        // Two runs of digits: by value (fewer significant digits first, then digit by
        // digit), and equal values with fewer leading zeros first.
        size_t runA = i, runB = j;
        while (runA < a.size() && a[runA] == '0')
            ++runA;
        while (runB < b.size() && b[runB] == '0')
            ++runB;
        size_t endA = runA, endB = runB;
        while (endA < a.size() && IsDigit(a[endA]))
            ++endA;
        while (endB < b.size() && IsDigit(b[endB]))
            ++endB;
        if (endA - runA != endB - runB)
            return endA - runA < endB - runB;
        int order = a.compare(runA, endA - runA, b, runB, endB - runB);
        if (order != 0)
            return order < 0;
        if (endA - i != endB - j)
            return endA - i < endB - j;
        i = endA, j = endB;
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> ReadM3u(const std::string &text, const std::string &folder)
{
    static const char kByteOrderMark[] = "\xEF\xBB\xBF";
    std::istringstream lines(text.compare(0, 3, kByteOrderMark) == 0 ? text.substr(3) : text);
    std::vector<std::string> files;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        if (line[0] == '/' || folder.empty())
            files.push_back(line);
        else
            files.push_back(folder.back() == '/' ? folder + line : folder + "/" + line);
    }
    return files;
}

std::string SystemReason(const std::string &path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return std::strerror(errno);
    if (S_ISDIR(info.st_mode)) {
        // An unreadable folder says that; a readable one that it is a folder.
        DIR *directory = opendir(path.c_str());
        if (!directory)
            return std::strerror(errno);
        closedir(directory);
        return std::strerror(EISDIR);
    }
    // Non-blocking: a FIFO with no writer must not hold the player.
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        return std::strerror(errno);
    close(descriptor);
    return "";
}

std::vector<std::string> ExpandArguments(const PluginHost &host, const std::vector<std::string> &arguments)
{
    Expander expander(host);
    for (const std::string &argument : arguments)
        expander.Add(argument);
    return std::move(expander).Files();
}

} // namespace tessel::host
