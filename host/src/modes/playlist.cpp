// The playlist from the command line: a file stands for itself (a missing one too:
// it fails to play, and says so); a folder for the files in it that the plug-in
// plays, in name order.
#include "modes/modes.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace tessel::host {

std::vector<std::string> ExpandArguments(const PluginHost &host, const std::vector<std::string> &arguments)
{
    std::vector<std::string> files;
    for (const std::string &argument : arguments) {
        struct stat info {};
        if (stat(argument.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            files.push_back(argument);
            continue;
        }
        std::vector<std::string> names;
        if (DIR *directory = opendir(argument.c_str())) {
            while (dirent *entry = readdir(directory))
                names.push_back(entry->d_name);
            closedir(directory);
        }
        std::sort(names.begin(), names.end());
        std::string prefix = argument.back() == '/' ? argument : argument + "/";
        for (const std::string &name : names) {
            std::string path = prefix + name;
            struct stat entryInfo {};
            if (stat(path.c_str(), &entryInfo) == 0 && S_ISREG(entryInfo.st_mode) && host.Accepts(path))
                files.push_back(path);
        }
    }
    return files;
}

} // namespace tessel::host
