// Text helpers of the host: the plug-in's 8-bit texts toward a UTF-8 terminal and
// JSON, file names, the progress bar.
#pragma once

#include <string>
#include <vector>

namespace tessel::host {

// The part of a path after its last '/'.
std::string BaseName(const std::string &path);

// The plug-in's texts are 8-bit; read as Latin-1 they become UTF-8 here.
std::string Latin1ToUtf8(const std::string &text);
// For a terminal: as Latin1ToUtf8, with control characters (which could move the
// cursor or change the terminal's state) shown as '?'.
std::string Printable(const std::string &text);
// A JSON string literal of the Latin-1 text, quotes included.
std::string JsonString(const std::string &text);

// The lines of a text whose lines end in CR LF (the last one may lack it); a lone CR
// or LF also ends a line. An empty text has no lines.
std::vector<std::string> SplitLines(const std::string &text);

// "[#####-----]" with width cells inside the brackets, filled value / total.
std::string ProgressBar(int value, int total, int width);

} // namespace tessel::host
