#include "reg_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <unordered_map>

namespace tessel::platform {

namespace {

const char kHeader5[] = "Windows Registry Editor Version 5.00";
const char kHeader4[] = "REGEDIT4";
const char kRootName[] = "HKEY_CURRENT_USER";

bool EqualsIgnoringCase(const std::string &a, const std::string &b)
{
    return LowerCase(a) == LowerCase(b);
}

std::string QuoteString(const std::string &text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// A value shows as a quoted string only when it round-trips as one.
bool IsPlainString(const RegistryValue &value)
{
    if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0)
        return false;
    return std::none_of(value.data.begin(), value.data.end() - 1,
                        [](BYTE b) { return b == 0 || b == '\n' || b == '\r'; });
}

std::string FormatData(const RegistryValue &value)
{
    char hexByte[4];
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD word = static_cast<DWORD>(value.data[0]) | static_cast<DWORD>(value.data[1]) << 8 |
                     static_cast<DWORD>(value.data[2]) << 16 | static_cast<DWORD>(value.data[3]) << 24;
        char text[16];
        snprintf(text, sizeof text, "dword:%08x", word);
        return text;
    }
    if (IsPlainString(value))
        return QuoteString(std::string(value.data.begin(), value.data.end() - 1));
    std::string text = value.type == REG_BINARY ? "hex:"
                                                : "hex(" + ([&] {
                                                      char type[16];
                                                      snprintf(type, sizeof type, "%x", value.type);
                                                      return std::string(type);
                                                  })() +
                                                      "):";
    for (size_t i = 0; i < value.data.size(); ++i) {
        snprintf(hexByte, sizeof hexByte, "%02x", value.data[i]);
        text += (i ? "," : "");
        text += hexByte;
    }
    return text;
}

class LineParser {
public:
    explicit LineParser(const std::string &line) : line_(line) {}

    bool AtEnd() const { return position_ >= line_.size(); }
    char Peek() const { return AtEnd() ? '\0' : line_[position_]; }
    bool Take(char c)
    {
        if (Peek() != c)
            return false;
        ++position_;
        return true;
    }
    bool TakeWord(const char *word)
    {
        size_t length = strlen(word);
        if (line_.compare(position_, length, word) != 0)
            return false;
        position_ += length;
        return true;
    }
    std::optional<std::string> QuotedString()
    {
        if (!Take('"'))
            return std::nullopt;
        std::string text;
        while (!AtEnd()) {
            char c = line_[position_++];
            if (c == '"')
                return text;
            if (c == '\\') {
                if (AtEnd())
                    return std::nullopt;
                c = line_[position_++];
            }
            text += c;
        }
        return std::nullopt;
    }
    std::string Rest() const { return line_.substr(position_); }

private:
    const std::string &line_;
    size_t position_ = 0;
};

std::optional<std::vector<BYTE>> ParseHexBytes(const std::string &text)
{
    std::vector<BYTE> bytes;
    std::string compact;
    for (char c : text)
        if (c != ' ' && c != '\t')
            compact += c;
    if (compact.empty())
        return bytes;
    std::stringstream items(compact);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item.size() != 2 || !isxdigit(static_cast<unsigned char>(item[0])) ||
            !isxdigit(static_cast<unsigned char>(item[1])))
            return std::nullopt;
        bytes.push_back(static_cast<BYTE>(std::stoul(item, nullptr, 16)));
    }
    if (compact.back() == ',')
        return std::nullopt;
    return bytes;
}

std::optional<RegistryValue> ParseValueData(LineParser &parser)
{
    RegistryValue value;
    if (parser.Peek() == '"') {
        auto text = parser.QuotedString();
        if (!text || !parser.AtEnd())
            return std::nullopt;
        value.type = REG_SZ;
        value.data.assign(text->begin(), text->end());
        value.data.push_back(0);
        return value;
    }
    if (parser.TakeWord("dword:")) {
        std::string digits = parser.Rest();
        if (digits.empty() || digits.size() > 8 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return isxdigit(static_cast<unsigned char>(c)); }))
            return std::nullopt;
        DWORD word = static_cast<DWORD>(std::stoul(digits, nullptr, 16));
        value.type = REG_DWORD;
        value.data = {static_cast<BYTE>(word), static_cast<BYTE>(word >> 8), static_cast<BYTE>(word >> 16),
                      static_cast<BYTE>(word >> 24)};
        return value;
    }
    if (parser.TakeWord("hex:")) {
        value.type = REG_BINARY;
    } else if (parser.TakeWord("hex(")) {
        std::string rest = parser.Rest();
        size_t close = rest.find("):");
        if (close == std::string::npos || close == 0 || close > 8 ||
            !std::all_of(rest.begin(), rest.begin() + close,
                         [](char c) { return isxdigit(static_cast<unsigned char>(c)); }))
            return std::nullopt;
        value.type = static_cast<DWORD>(std::stoul(rest.substr(0, close), nullptr, 16));
        auto bytes = ParseHexBytes(rest.substr(close + 2));
        if (!bytes)
            return std::nullopt;
        value.data = *bytes;
        return value;
    } else {
        return std::nullopt;
    }
    auto bytes = ParseHexBytes(parser.Rest());
    if (!bytes)
        return std::nullopt;
    value.data = *bytes;
    return value;
}

// Joins continuation lines (a trailing backslash) and drops the BOM, and CRs and
// blanks at line ends, which registry editors ignore as well.
std::vector<std::pair<int, std::string>> LogicalLines(const std::string &text)
{
    std::vector<std::pair<int, std::string>> lines;
    std::string body = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text;
    std::stringstream stream(body);
    std::string line;
    int number = 0;
    std::string pending;
    int pendingNumber = 0;
    while (std::getline(stream, line)) {
        ++number;
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (pending.empty())
            pendingNumber = number;
        // A comment never continues, whatever it ends in: it may quote a value line.
        bool continues = !line.empty() && line[0] != ';' && line.back() == '\\' &&
                         line.find('=') != std::string::npos && line.compare(line.find('=') + 1, 3, "hex") == 0;
        bool continuation = !pending.empty();
        if (continuation) {
            size_t start = line.find_first_not_of(" \t");
            line = start == std::string::npos ? "" : line.substr(start);
            continues = !line.empty() && line.back() == '\\';
        }
        if (continues) {
            line.pop_back();
            pending += line;
            continue;
        }
        lines.emplace_back(pendingNumber, pending + line);
        pending.clear();
    }
    if (!pending.empty())
        lines.emplace_back(pendingNumber, pending);
    return lines;
}

} // namespace

std::string LowerCase(const std::string &text)
{
    std::string lower = text;
    for (char &c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

RegistryValue *RegistryKey::FindValue(const std::string &name)
{
    for (RegistryValue &value : values)
        if (EqualsIgnoringCase(value.name, name))
            return &value;
    return nullptr;
}

RegistryKey *RegistryDocument::FindKey(const std::string &path)
{
    auto found = keys.find(LowerCase(path));
    return found == keys.end() ? nullptr : &found->second;
}

bool RegistryDocument::CreateKey(const std::string &path)
{
    bool created = false;
    for (size_t end = 0; end != std::string::npos;) {
        end = path.find('\\', end + 1);
        std::string prefix = path.substr(0, end);
        auto inserted = keys.try_emplace(LowerCase(prefix), RegistryKey{prefix, {}});
        created = inserted.second;
    }
    return created;
}

bool RegistryDocument::DeleteTree(const std::string &path)
{
    std::string lower = LowerCase(path);
    if (!keys.erase(lower))
        return false;
    std::string below = lower + "\\";
    for (auto it = keys.lower_bound(below); it != keys.end() && it->first.compare(0, below.size(), below) == 0;)
        it = keys.erase(it);
    return true;
}

bool RegistryDocument::HasSubkeys(const std::string &path) const
{
    std::string below = LowerCase(path) + "\\";
    auto it = keys.lower_bound(below);
    return it != keys.end() && it->first.compare(0, below.size(), below) == 0;
}

ParseResult ParseRegistryText(const std::string &text)
{
    RegistryDocument document;
    auto lines = LogicalLines(text);
    auto fail = [](int line, const std::string &why) {
        return ParseResult{std::nullopt, "line " + std::to_string(line) + ": " + why};
    };
    size_t index = 0;
    while (index < lines.size() && lines[index].second.empty())
        ++index;
    if (index == lines.size() || (lines[index].second != kHeader5 && lines[index].second != kHeader4))
        return fail(index < lines.size() ? lines[index].first : 1, "not a registry file");
    RegistryKey *current = nullptr;
    // Where each value already stands, by lower-cased key path and name: a repeated
    // value replaces the earlier one without a search through the key.
    std::unordered_map<std::string, size_t> seen;
    std::string currentPath;
    for (++index; index < lines.size(); ++index) {
        const auto &[number, line] = lines[index];
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            std::string root = std::string(kRootName);
            if (line.back() != ']' || line.compare(1, root.size(), root) != 0)
                return fail(number, "expected a key under HKEY_CURRENT_USER");
            std::string path = line.substr(1 + root.size(), line.size() - 2 - root.size());
            if (path.empty()) {
                current = nullptr; // the root itself holds no values here
                continue;
            }
            if (path[0] != '\\' || path.size() < 2 || path.back() == '\\' || path.find("\\\\") != std::string::npos)
                return fail(number, "malformed key path");
            path = path.substr(1);
            document.CreateKey(path);
            current = document.FindKey(path);
            currentPath = LowerCase(path) + '\n';
            continue;
        }
        if (!current)
            return fail(number, "value outside a key");
        LineParser parser(line);
        std::string name;
        if (parser.Take('@')) {
            name = "";
        } else {
            auto quoted = parser.QuotedString();
            if (!quoted)
                return fail(number, "malformed value name");
            name = *quoted;
        }
        if (!parser.Take('='))
            return fail(number, "expected '=' after the value name");
        auto value = ParseValueData(parser);
        if (!value)
            return fail(number, "malformed value data");
        value->name = name;
        auto placed = seen.try_emplace(currentPath + LowerCase(name), current->values.size());
        if (placed.second)
            current->values.push_back(std::move(*value));
        else
            current->values[placed.first->second] = std::move(*value);
    }
    return ParseResult{std::move(document), ""};
}

std::string FormatRegistryText(const RegistryDocument &document)
{
    std::string text = std::string(kHeader5) + "\n";
    for (const auto &entry : document.keys) {
        const RegistryKey &key = entry.second;
        text += "\n[" + std::string(kRootName) + "\\" + key.path + "]\n";
        for (const RegistryValue &value : key.values)
            text += (value.name.empty() ? std::string("@") : QuoteString(value.name)) + "=" + FormatData(value) + "\n";
    }
    return text;
}

} // namespace tessel::platform
