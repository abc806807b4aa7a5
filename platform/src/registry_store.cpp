// The registry calls over one .reg file for HKEY_CURRENT_USER in
// $XDG_CONFIG_HOME/tessel/. Every call reads the file afresh under a lock, and every
// change replaces it atomically (temporary file, flush, rename), so two processes never
// lose each other's values and a crash never leaves half a file behind.
#include "reg_text.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

using namespace tessel::platform;

namespace {

const char storeFileName[] = "registry.reg";
const char lockFileName[] = "registry.lock";

std::string StoreDirectory()
{
    const char *config = getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return std::string(config) + "/tessel";
    const char *home = getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config/tessel";
}

bool MakeDirectories(const std::string &path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        struct stat status {};
        if (stat(prefix.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

// An exclusive lock on a file beside the store, which (unlike the store) is never
// replaced. flock() works between threads too, since each call opens it anew.
class StoreLock {
public:
    explicit StoreLock(const std::string &directory)
    {
        fd = open((directory + "/" + lockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0)
            while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~StoreLock()
    {
        if (fd >= 0)
            close(fd); // releases the lock
    }
    bool Held() const { return fd >= 0; }

private:
    int fd = -1;
};

bool ReadWholeFile(const std::string &path, std::string &text)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT; // no file yet: an empty store
    char buffer[8192];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            close(fd);
            return false;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return true;
}

bool WriteAll(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t put = write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

bool ReplaceFile(const std::string &directory, const std::string &text)
{
    std::string path = directory + "/" + storeFileName;
    std::string temporary = path + ".tmp." + std::to_string(getpid());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool written = WriteAll(fd, text) && fsync(fd) == 0;
    written = close(fd) == 0 && written;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    int directoryFd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directoryFd >= 0) {
        fsync(directoryFd);
        close(directoryFd);
    }
    return true;
}

// A file we cannot parse is moved aside under a name that no earlier one has, never
// overwritten, and the store starts empty.
void KeepCorruptFileAside(const std::string &directory, const std::string &why)
{
    std::string path = directory + "/" + storeFileName;
    char stamp[32];
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string aside = path + ".corrupt-" + stamp + (attempt ? "-" + std::to_string(attempt) : "");
        if (link(path.c_str(), aside.c_str()) == 0) {
            unlink(path.c_str());
            fprintf(stderr, "tessel: the settings file %s could not be read (%s); kept as %s, starting empty\n",
                    path.c_str(), why.c_str(), aside.c_str());
            return;
        }
        if (errno != EEXIST)
            break;
    }
    fprintf(stderr, "tessel: the settings file %s could not be read (%s) nor kept aside; left untouched\n",
            path.c_str(), why.c_str());
}

enum class Access { Read, Write };

// Runs one registry operation on the current document. A write that reports
// ERROR_SUCCESS replaces the file; any failure to store it is ERROR_ACCESS_DENIED.
LONG WithStore(Access access, const std::function<LONG(RegistryDocument &, bool &changed)> &operation)
{
    std::string directory = StoreDirectory();
    if (!MakeDirectories(directory)) {
        if (access == Access::Write)
            return ERROR_ACCESS_DENIED;
        RegistryDocument empty;
        bool changed = false;
        return operation(empty, changed);
    }
    StoreLock lock(directory);
    if (!lock.Held() && access == Access::Write)
        return ERROR_ACCESS_DENIED;
    std::string text;
    RegistryDocument document;
    if (!ReadWholeFile(directory + "/" + storeFileName, text))
        return ERROR_ACCESS_DENIED;
    if (!text.empty()) {
        ParseResult parsed = ParseRegistryText(text);
        if (parsed.document)
            document = std::move(*parsed.document);
        else if (lock.Held())
            KeepCorruptFileAside(directory, parsed.error);
    }
    bool changed = false;
    LONG result = operation(document, changed);
    if (result == ERROR_SUCCESS && changed && !ReplaceFile(directory, FormatRegistryText(document)))
        return ERROR_ACCESS_DENIED;
    return result;
}

// Open keys: a handle names a path below HKEY_CURRENT_USER.
std::mutex keysMutex;
std::unordered_map<HKEY, std::string> &OpenKeys()
{
    static auto *keys = new std::unordered_map<HKEY, std::string>;
    return *keys;
}
uintptr_t nextKey = 0x1000;

bool KeyPath(HKEY key, std::string &path)
{
    if (key == HKEY_CURRENT_USER) {
        path.clear();
        return true;
    }
    std::lock_guard<std::mutex> lock(keysMutex);
    auto found = OpenKeys().find(key);
    if (found == OpenKeys().end())
        return false;
    path = found->second;
    return true;
}

HKEY NewKeyHandle(const std::string &path)
{
    std::lock_guard<std::mutex> lock(keysMutex);
    HKEY key = reinterpret_cast<HKEY>(nextKey += 4);
    OpenKeys()[key] = path;
    return key;
}

// Joins a key's path and a sub-key; false for a malformed sub-key (a leading or
// doubled backslash), as Win32 refuses it.
bool JoinPath(const std::string &base, LPCSTR subKey, std::string &path)
{
    std::string sub = subKey ? subKey : "";
    while (!sub.empty() && sub.back() == '\\')
        sub.pop_back();
    if (!sub.empty() && (sub[0] == '\\' || sub.find("\\\\") != std::string::npos))
        return false;
    path = base.empty() ? sub : sub.empty() ? base : base + "\\" + sub;
    return true;
}

const LONG ERROR_BAD_PATHNAME = 161;

// The path below HKEY_CURRENT_USER that a key and a sub-key name, or the error Win32
// gives for a bad handle or a malformed sub-key.
LONG SubKeyPath(HKEY key, LPCSTR subKey, std::string &path)
{
    std::string base;
    if (!KeyPath(key, base))
        return ERROR_INVALID_HANDLE;
    if (!JoinPath(base, subKey, path))
        return ERROR_BAD_PATHNAME;
    return ERROR_SUCCESS;
}

} // namespace

extern "C" LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                                       PHKEY result, LPDWORD disposition)
{
    std::string path;
    if (!result)
        return ERROR_INVALID_PARAMETER;
    if (LONG status = SubKeyPath(key, subKey, path))
        return status;
    bool created = false;
    LONG status = WithStore(Access::Write, [&](RegistryDocument &document, bool &changed) -> LONG {
        if (!path.empty() && !document.FindKey(path)) {
            document.CreateKey(path);
            changed = created = true;
        }
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS)
        return status;
    *result = path.empty() ? HKEY_CURRENT_USER : NewKeyHandle(path);
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result)
{
    std::string path;
    if (!result)
        return ERROR_INVALID_PARAMETER;
    if (LONG status = SubKeyPath(key, subKey, path))
        return status;
    LONG status = WithStore(Access::Read, [&](RegistryDocument &document, bool &) -> LONG {
        return path.empty() || document.FindKey(path) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (status == ERROR_SUCCESS)
        *result = path.empty() ? HKEY_CURRENT_USER : NewKeyHandle(path);
    return status;
}

extern "C" LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    std::string path;
    if (!KeyPath(key, path))
        return ERROR_INVALID_HANDLE;
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    return WithStore(Access::Read, [&](RegistryDocument &document, bool &) -> LONG {
        RegistryKey *found = path.empty() ? nullptr : document.FindKey(path);
        if (!path.empty() && !found)
            return ERROR_KEY_DELETED;
        RegistryValue *value = found ? found->FindValue(name ? name : "") : nullptr;
        if (!value)
            return ERROR_FILE_NOT_FOUND;
        if (type)
            *type = value->type;
        DWORD needed = static_cast<DWORD>(value->data.size());
        if (!size)
            return ERROR_SUCCESS;
        if (data && *size < needed) {
            *size = needed; // nothing copied
            return ERROR_MORE_DATA;
        }
        if (data && needed)
            memcpy(data, value->data.data(), needed);
        *size = needed;
        return ERROR_SUCCESS;
    });
}

extern "C" LONG WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE *data, DWORD size)
{
    std::string path;
    if (!KeyPath(key, path))
        return ERROR_INVALID_HANDLE;
    if (path.empty())
        return ERROR_ACCESS_DENIED; // the root holds no values of ours
    if (!data && size)
        return ERROR_INVALID_PARAMETER;
    return WithStore(Access::Write, [&](RegistryDocument &document, bool &changed) -> LONG {
        RegistryKey *found = document.FindKey(path);
        if (!found)
            return ERROR_KEY_DELETED;
        RegistryValue value{name ? name : "", type, std::vector<BYTE>(data, data + size)};
        if (RegistryValue *existing = found->FindValue(value.name))
            existing->type = value.type, existing->data = value.data;
        else
            found->values.push_back(value);
        changed = true;
        return ERROR_SUCCESS;
    });
}

extern "C" LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR name)
{
    std::string path;
    if (!KeyPath(key, path))
        return ERROR_INVALID_HANDLE;
    return WithStore(Access::Write, [&](RegistryDocument &document, bool &changed) -> LONG {
        RegistryKey *found = path.empty() ? nullptr : document.FindKey(path);
        if (!found)
            return path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        std::string wanted = name ? name : "";
        for (auto it = found->values.begin(); it != found->values.end(); ++it)
            if (LowerCase(it->name) == LowerCase(wanted)) {
                found->values.erase(it);
                changed = true;
                return ERROR_SUCCESS;
            }
        return ERROR_FILE_NOT_FOUND;
    });
}

extern "C" LONG WINAPI RegDeleteTreeA(HKEY key, LPCSTR subKey)
{
    std::string path;
    if (LONG status = SubKeyPath(key, subKey, path))
        return status;
    bool wholeKey = subKey && *subKey;
    return WithStore(Access::Write, [&](RegistryDocument &document, bool &changed) -> LONG {
        if (wholeKey) {
            if (!document.DeleteTree(path))
                return ERROR_FILE_NOT_FOUND;
            changed = true;
            return ERROR_SUCCESS;
        }
        // No sub-key: the key's values and sub-keys go, the key itself stays.
        if (path.empty()) {
            changed = !document.keys.empty();
            document.keys.clear();
            return ERROR_SUCCESS;
        }
        RegistryKey *found = document.FindKey(path);
        if (!found)
            return ERROR_KEY_DELETED;
        std::string kept = found->path;
        document.DeleteTree(path);
        document.CreateKey(kept);
        changed = true;
        return ERROR_SUCCESS;
    });
}

extern "C" LONG WINAPI RegCloseKey(HKEY key)
{
    if (key == HKEY_CURRENT_USER)
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(keysMutex);
    return OpenKeys().erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
