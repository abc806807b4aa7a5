#include "util/text.h"

#include <iconv.h>
#include <langinfo.h>

#include <cstdint>
#include <cstdio>

namespace tessel::host {

std::string BaseName(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

void AppendUtf8(std::string &out, uint32_t code)
{
    if (code < 0x80) {
        out.push_back(char(code));
    } else if (code < 0x800) {
        out.push_back(char(0xC0 | (code >> 6)));
        out.push_back(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(char(0xE0 | (code >> 12)));
        out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(char(0x80 | (code & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (code >> 18)));
        out.push_back(char(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(char(0x80 | (code & 0x3F)));
    }
}

// The code point at text[at], its length in bytes in length; false when the bytes
// there are not well-formed UTF-8.
bool DecodeUtf8(const std::string &text, size_t at, uint32_t &code, size_t &length)
{
    unsigned char lead = static_cast<unsigned char>(text[at]);
    uint32_t minimum;
    if (lead < 0x80) {
        code = lead;
        length = 1;
        return true;
    } else if (lead >= 0xC2 && lead < 0xE0) {
        code = lead & 0x1F, length = 2, minimum = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        code = lead & 0x0F, length = 3, minimum = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF5) {
        code = lead & 0x07, length = 4, minimum = 0x10000;
    } else {
        return false;
    }
    if (at + length > text.size())
        return false;
    for (size_t i = 1; i < length; ++i) {
        unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return false;
        code = code << 6 | (next & 0x3F);
    }
    return code >= minimum && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

bool Control(uint32_t code)
{
    return code < 0x20 || (code >= 0x7F && code < 0xA0);
}

// Windows-1252's upper half in UTF-8, as iconv converts it; "" for the bytes the code
// page leaves undefined.
const std::vector<std::string> &Windows1252Table()
{
    static const std::vector<std::string> table = [] {
        std::vector<std::string> upper(128);
        iconv_t convert = iconv_open("UTF-8", "WINDOWS-1252");
        if (convert == iconv_t(-1)) {
            // No converter: Latin-1, which agrees outside 0x80..0x9F.
            for (uint32_t c = 0xA0; c < 0x100; ++c)
                AppendUtf8(upper[c - 0x80], c);
            return upper;
        }
        for (int c = 0x80; c < 0x100; ++c) {
            char in = char(c), out[8];
            char *inAt = &in, *outAt = out;
            size_t inLeft = 1, outLeft = sizeof out;
            iconv(convert, nullptr, nullptr, nullptr, nullptr);
            if (iconv(convert, &inAt, &inLeft, &outAt, &outLeft) != size_t(-1))
                upper[size_t(c - 0x80)].assign(out, size_t(outAt - out));
        }
        iconv_close(convert);
        return upper;
    }();
    return table;
}

std::string FromWindows1252(const std::string &text)
{
    const std::vector<std::string> &upper = Windows1252Table();
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c >= 0x80)
            out += upper[c - 0x80].empty() ? std::string("?") : upper[c - 0x80];
        else
            out.push_back(Control(c) ? '?' : char(c));
    }
    return out;
}

} // namespace

bool ValidUtf8(const std::string &text)
{
    uint32_t code;
    size_t length;
    for (size_t at = 0; at < text.size(); at += length)
        if (!DecodeUtf8(text, at, code, length))
            return false;
    return true;
}

std::string ForPeople(const std::string &text, TextKind kind)
{
    if (kind == TextKind::Module || !ValidUtf8(text))
        return FromWindows1252(text);
    std::string out;
    out.reserve(text.size());
    uint32_t code;
    size_t length;
    for (size_t at = 0; at < text.size(); at += length) {
        DecodeUtf8(text, at, code, length);
        if (Control(code))
            out.push_back('?');
        else
            out.append(text, at, length);
    }
    return out;
}

std::string ForLocale(const std::string &utf8)
{
    static const std::string codeset = nl_langinfo(CODESET);
    if (codeset == "UTF-8")
        return utf8;
    static iconv_t convert = iconv_open(codeset.c_str(), "UTF-8");
    std::string out;
    uint32_t code;
    size_t length;
    for (size_t at = 0; at < utf8.size(); at += length) {
        if (!DecodeUtf8(utf8, at, code, length)) {
            out.push_back('?');
            length = 1;
            continue;
        }
        if (code < 0x80) {
            out.push_back(char(code));
            continue;
        }
        char buffer[16];
        char *in = const_cast<char *>(utf8.data() + at), *outAt = buffer;
        size_t inLeft = length, outLeft = sizeof buffer;
        bool converted = convert != iconv_t(-1) && iconv(convert, &in, &inLeft, &outAt, &outLeft) != size_t(-1) &&
                         iconv(convert, nullptr, nullptr, &outAt, &outLeft) != size_t(-1);
        if (convert != iconv_t(-1) && !converted)
            iconv(convert, nullptr, nullptr, nullptr, nullptr);
        out += converted ? std::string(buffer, size_t(outAt - buffer)) : std::string("?");
    }
    return out;
}

std::string ForTerminal(const std::string &name)
{
    return ForLocale(ForPeople(name, TextKind::Name));
}

std::string JsonString(const std::string &text, TextKind kind)
{
    const bool asIs = kind == TextKind::Name && ValidUtf8(text);
    auto escape = [](std::string &out, unsigned code) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
        out += escaped;
    };
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            // Controls, DEL and the C1 controls (U+0080-U+009F) never go raw: a reader
            // that shows the line would act on them.
            if (c < 0x20 || c == 0x7F || (!asIs && c >= 0x80 && c < 0xA0)) {
                escape(out, c);
            } else if (asIs && c == 0xC2 && i + 1 < text.size() && (unsigned char)text[i + 1] >= 0x80 &&
                       (unsigned char)text[i + 1] < 0xA0) {
                escape(out, (unsigned char)text[++i]);
            } else if (asIs) {
                out.push_back(char(c));
            } else {
                AppendUtf8(out, c);
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
