// Text helpers of the host: the plug-in's texts toward people (the terminal, plain
// output) and toward JSON, file names, the progress bar.
//
// Two kinds of text reach the host. Module texts (sample names, messages, titles from
// module headers) are 8-bit legacy text, read as Windows-1252 as the Windows build
// shows them. Names (file paths, a title made from a file name, device names) are the
// system's bytes: UTF-8 when they are valid UTF-8, and read as Windows-1252 otherwise.
#pragma once

#include <string>
#include <vector>

namespace tessel::host {

enum class TextKind { Name, Module };

// The part of a path after its last '/'.
std::string BaseName(const std::string &path);

// The text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool ValidUtf8(const std::string &text);

// For people, as UTF-8: module texts through Windows-1252 (its five undefined bytes as
// '?'), names as they are when valid UTF-8. Control characters (C0, DEL, C1), which
// could move a terminal's cursor or change its state, are shown as '?'.
std::string ForPeople(const std::string &text, TextKind kind = TextKind::Name);
// UTF-8 text in the character set of the locale (LC_CTYPE): as it is in a UTF-8
// locale, else converted, with '?' for each character the set lacks.
std::string ForLocale(const std::string &utf8);

// A name (a path, an argument) as it may go to the terminal or a line of output:
// ForPeople, then the locale's character set.
std::string ForTerminal(const std::string &name);

// A JSON string literal, quotes included, always UTF-8: module texts byte for byte as
// Latin-1 (byte n is U+00nn), names as they are when valid UTF-8 (as Latin-1 otherwise).
std::string JsonString(const std::string &text, TextKind kind = TextKind::Module);

// The lines of a text whose lines end in CR LF (the last one may lack it); a lone CR
// or LF also ends a line. An empty text has no lines.
std::vector<std::string> SplitLines(const std::string &text);

// "[#####-----]" with width cells inside the brackets, filled value / total.
std::string ProgressBar(int value, int total, int width);

} // namespace tessel::host
