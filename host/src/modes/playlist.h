// The playlist from the command line: files, folders opened recursively in natural
// order, and .m3u/.m3u8 playlists read as lists of files.
#pragma once

#include <string>
#include <vector>

namespace tessel::host {

class PluginHost;

// The playlist: a file stands for itself (a missing one too: it fails to play, and
// says why); a folder for the files under it that the plug-in plays, in natural order,
// subfolders in their place; a playlist for the entries it lists. A folder or playlist
// that cannot be read stays as it is, to fail and say why.
std::vector<std::string> ExpandArguments(const PluginHost &host, const std::vector<std::string> &arguments);

// Names in the order people count: runs of digits compare by their value, so "2_a"
// comes before "10_a"; everything else byte by byte.
bool NaturalLess(const std::string &a, const std::string &b);

// The file names an .m3u/.m3u8 playlist lists, in its order: blank lines and #
// comments skipped, a leading UTF-8 byte-order mark and CR line ends tolerated, a
// relative name taken relative to folder (the playlist's own).
std::vector<std::string> ReadM3u(const std::string &text, const std::string &folder);

// Why the system would refuse to play path, as the shell says it ("No such file or
// directory", "Permission denied", "Is a directory"); "" when nothing stands in the way.
std::string SystemReason(const std::string &path);

} // namespace tessel::host
