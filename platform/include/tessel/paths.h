// Where a write of a POSIX path lands, for the settings store and the host's renders:
// both write through a symbolic link, as editors and a shell's redirection do.
#pragma once

#include <string>

namespace tessel::platform {

// The folder a path names its file in: "." for a bare name, "/" at the root.
std::string DirectoryOf(const std::string &path);

// The path with its last part's symbolic links followed as far as they lead (the end
// need not exist: a dangling link names the file to make). A loop is left for the open
// that follows to report.
std::string FollowLinks(std::string path);

} // namespace tessel::platform
