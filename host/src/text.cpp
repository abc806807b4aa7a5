#include "text.h"

#include <cstdio>

namespace tessel::host {

std::string BaseName(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Latin1ToUtf8(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x80) {
            out.push_back(char(c));
        } else {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string Printable(const std::string &text)
{
    std::string safe = text;
    for (char &c : safe) {
        unsigned char u = static_cast<unsigned char>(c);
        // C0 controls, DEL and the C1 controls that Latin-1 would turn into U+0080..9F.
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            c = '?';
    }
    return Latin1ToUtf8(safe);
}

std::string JsonString(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else {
                out += Latin1ToUtf8(std::string(1, char(c)));
            }
        }
    }
    return out + "\"";
}

std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::string ProgressBar(int value, int total, int width)
{
    int filled = total > 0 ? int((long long)width * (value < 0 ? 0 : value > total ? total : value) / total) : 0;
    return "[" + std::string(size_t(filled), '#') + std::string(size_t(width - filled), '-') + "]";
}

} // namespace tessel::host
