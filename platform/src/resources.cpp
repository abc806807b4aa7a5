// Resources of a POSIX module: the build embeds the compiled resource file (the format
// windres writes) as TesselResourceTable; a module's entries are indexed once, on the
// first look-up, and live as long as the process.
#include <windows.h>

#include <tessel/resources.h>

#include <dlfcn.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// One entry of a compiled resource file: a header of two sizes, type and name (each
// an ordinal or a UTF-16 string), then fixed fields, then the data; entries start on
// 4-byte boundaries.
struct ResourceEntry {
    WORD typeId = 0; // 0 when the type is named
    std::string typeName;
    WORD nameId = 0;
    std::string nameName;
    WORD language = 0;
    const unsigned char *data = nullptr;
    DWORD size = 0;
};

constexpr size_t kEntryPrefixSize = 8;  // DataSize, HeaderSize
constexpr size_t kEntrySuffixSize = 16; // DataVersion, MemoryFlags, LanguageId, Version, Characteristics
constexpr size_t kLanguageOffsetInSuffix = 6;

DWORD ReadDword(const unsigned char *at)
{
    return static_cast<DWORD>(at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<DWORD>(at[3]) << 24));
}

WORD ReadWord(const unsigned char *at)
{
    return static_cast<WORD>(at[0] | (at[1] << 8));
}

// An ordinal (0xFFFF, id) or a zero-terminated UTF-16 name, within [at, end).
bool ReadNameOrId(const unsigned char *&at, const unsigned char *end, WORD &id, std::string &name)
{
    if (end - at < 2)
        return false;
    if (ReadWord(at) == 0xFFFF) {
        if (end - at < 4)
            return false;
        id = ReadWord(at + 2);
        at += 4;
        return true;
    }
    id = 0;
    name.clear();
    for (;;) {
        if (end - at < 2)
            return false;
        WORD unit = ReadWord(at);
        at += 2;
        if (unit == 0)
            return true;
        name.push_back(static_cast<char>(unit < 0x80 ? (unit >= 'a' && unit <= 'z' ? unit - 'a' + 'A' : unit) : '?'));
    }
}

std::vector<ResourceEntry> ParseResources(const unsigned char *data, size_t size)
{
    std::vector<ResourceEntry> entries;
    size_t offset = 0;
    while (size - offset >= kEntryPrefixSize) {
        const unsigned char *entry = data + offset;
        DWORD dataSize = ReadDword(entry);
        DWORD headerSize = ReadDword(entry + 4);
        if (headerSize < kEntryPrefixSize + kEntrySuffixSize || headerSize > size - offset ||
            dataSize > size - offset - headerSize)
            break; // damaged: keep what was read so far
        const unsigned char *at = entry + kEntryPrefixSize;
        const unsigned char *headerEnd = entry + headerSize;
        ResourceEntry parsed;
        if (!ReadNameOrId(at, headerEnd, parsed.typeId, parsed.typeName) ||
            !ReadNameOrId(at, headerEnd, parsed.nameId, parsed.nameName))
            break;
        size_t consumed = static_cast<size_t>(at - entry);
        consumed = (consumed + 3) & ~static_cast<size_t>(3);
        if (consumed + kEntrySuffixSize > headerSize)
            break;
        parsed.language = ReadWord(entry + consumed + kLanguageOffsetInSuffix);
        parsed.data = entry + headerSize;
        parsed.size = dataSize;
        // The file starts with an empty entry (type 0) that only marks the format.
        if (parsed.typeId != 0 || !parsed.typeName.empty())
            entries.push_back(std::move(parsed));
        size_t next = offset + headerSize + dataSize;
        next = (next + 3) & ~static_cast<size_t>(3);
        if (next <= offset || next > size)
            break;
        offset = next;
    }
    return entries;
}

std::mutex tablesMutex;

std::map<const void *, std::vector<ResourceEntry>> &Tables()
{
    static auto *tables = new std::map<const void *, std::vector<ResourceEntry>>;
    return *tables;
}

const std::vector<ResourceEntry> *ModuleResources(HMODULE module)
{
    void *handle = module ? static_cast<void *>(module) : dlopen(nullptr, RTLD_NOW);
    auto *table =
        static_cast<const TesselResourceBlock *>(handle ? dlsym(handle, TESSEL_RESOURCE_TABLE_SYMBOL) : nullptr);
    if (!table || !table->data)
        return nullptr;
    std::lock_guard<std::mutex> lock(tablesMutex);
    auto found = Tables().find(table);
    if (found == Tables().end())
        found = Tables().emplace(table, ParseResources(table->data, table->size)).first;
    return &found->second;
}

// A name or type as the caller gave it: an ordinal, "#123", or a name (case ignored).
struct Key {
    WORD id = 0;
    std::string name;
};

Key KeyOf(LPCSTR given)
{
    Key key;
    if (IS_INTRESOURCE(given)) {
        key.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(given));
        return key;
    }
    if (given[0] == '#') {
        key.id = static_cast<WORD>(strtoul(given + 1, nullptr, 10));
        return key;
    }
    for (const char *c = given; *c; ++c)
        key.name.push_back(*c >= 'a' && *c <= 'z' ? static_cast<char>(*c - 'a' + 'A') : *c);
    return key;
}

bool Matches(const Key &key, WORD id, const std::string &name)
{
    return key.id ? key.id == id : key.name == name;
}

HRSRC Find(HMODULE module, LPCSTR type, LPCSTR name, const WORD *language)
{
    if (!type || !name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::vector<ResourceEntry> *entries = ModuleResources(module);
    if (!entries) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    Key typeKey = KeyOf(type);
    Key nameKey = KeyOf(name);
    bool typeSeen = false;
    bool nameSeen = false;
    const ResourceEntry *best = nullptr;
    for (const ResourceEntry &entry : *entries) {
        if (!Matches(typeKey, entry.typeId, entry.typeName))
            continue;
        typeSeen = true;
        if (!Matches(nameKey, entry.nameId, entry.nameName))
            continue;
        nameSeen = true;
        if (language && entry.language != *language)
            continue;
        // Without a language, the neutral entry wins, then the first one.
        if (!best || (entry.language == 0 && best->language != 0))
            best = &entry;
    }
    if (!best) {
        SetLastError(!typeSeen   ? ERROR_RESOURCE_TYPE_NOT_FOUND
                     : !nameSeen ? ERROR_RESOURCE_NAME_NOT_FOUND
                                 : ERROR_RESOURCE_LANG_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<ResourceEntry *>(best));
}

} // namespace

extern "C" HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type)
{
    return Find(module, type, name, nullptr);
}

extern "C" HRSRC WINAPI FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language)
{
    return Find(module, type, name, &language);
}

extern "C" HGLOBAL WINAPI LoadResource(HMODULE, HRSRC resource)
{
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto *entry = reinterpret_cast<const ResourceEntry *>(resource);
    return reinterpret_cast<HGLOBAL>(const_cast<unsigned char *>(entry->data));
}

extern "C" LPVOID WINAPI LockResource(HGLOBAL data)
{
    return data;
}

extern "C" DWORD WINAPI SizeofResource(HMODULE, HRSRC resource)
{
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return reinterpret_cast<const ResourceEntry *>(resource)->size;
}
