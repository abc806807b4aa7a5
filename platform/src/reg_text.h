// The registry's HKEY_CURRENT_USER as a document in the .reg text format that
// registry editors import and export ("Windows Registry Editor Version 5.00").
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessel::platform {

struct RegistryValue {
    std::string name; // "" is the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegistryKey {
    std::string path; // below HKEY_CURRENT_USER, as first written ("Software\\Vantrel")
    std::vector<RegistryValue> values;

    RegistryValue *FindValue(const std::string &name);
};

class RegistryDocument {
public:
    // Keys by their lower-cased path: key and value names ignore case.
    std::map<std::string, RegistryKey> keys;

    RegistryKey *FindKey(const std::string &path);
    // Adds the key and its parents; true when the key itself was new.
    bool CreateKey(const std::string &path);
    // Removes the key and every key below it; false when it did not exist.
    bool DeleteTree(const std::string &path);
    bool HasSubkeys(const std::string &path) const;
};

struct ParseResult {
    std::optional<RegistryDocument> document;
    std::string error; // with the line number, when document is empty
};

ParseResult ParseRegistryText(const std::string &text);
std::string FormatRegistryText(const RegistryDocument &document);
std::string LowerCase(const std::string &text);

} // namespace tessel::platform
