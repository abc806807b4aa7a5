// The registry calls over one .reg file for HKEY_CURRENT_USER in
// $XDG_CONFIG_HOME/tessel/. Every call reads the file afresh under a lock (shared for
// reads), and every change replaces it atomically (temporary file, flush, rename), so
// two processes never lose each other's values and a crash never leaves half a file
// behind. A file that cannot be read is kept aside; if it cannot be, writes are refused
// rather than overwrite it.
#include "reg_text.h"

#include <tessel/eintr.h>
#include <tessel/paths.h>
#include <tessel/settings_store.h>
#include <tessel/ui_backend.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
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

const char kStoreFileName[] = "registry.reg";
const char kLockFileName[] = "registry.lock";
const char kTemporarySuffix[] = ".tmp."; // after the replaced file's name
// Settings are a few hundred bytes; anything this large is not ours to parse.
constexpr size_t kMaxStoreSize = 1 << 20;

// Empty when there is no folder of the user's own to use.
std::string StoreDirectory()
{
    const char *config = getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return std::string(config) + "/tessel";
    const char *home = getenv("HOME");
    if (home && *home)
        return std::string(home) + "/.config/tessel";
    // Never a shared folder such as /tmp, where another user could make it first.
    struct passwd entry {};
    struct passwd *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return std::string(found->pw_dir) + "/.config/tessel";
    return "";
}

// False with why when a part of the path cannot be made or is not a folder.
bool MakeDirectories(const std::string &path, std::string &why)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            why = "cannot make the folder " + prefix + ": " + strerror(errno);
            return false;
        }
        struct stat status {};
        if (stat(prefix.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            why = prefix + " is not a folder";
            return false;
        }
        if (slash == std::string::npos)
            return true;
    }
}

// A lock on a file beside the store, which (unlike the store) is never replaced.
// flock() works between threads too, since each call opens it anew.
class StoreLock {
public:
    StoreLock(const std::string &directory, bool exclusive) : exclusive_(exclusive)
    {
        fd_ = open((directory + "/" + kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ >= 0 && !Take(exclusive ? LOCK_EX : LOCK_SH)) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~StoreLock()
    {
        if (fd_ >= 0)
            close(fd_); // releases the lock
    }
    bool Held() const { return fd_ >= 0; }
    bool Exclusive() const { return exclusive_; }
    // Not atomic: another process may change the file in between, so read it again.
    bool MakeExclusive() { return exclusive_ = Take(LOCK_EX); }

private:
    bool Take(int operation)
    {
        return tessel::RetryOnEintr([&] { return flock(fd_, operation); }) == 0;
    }
    int fd_ = -1;
    bool exclusive_;
};

// Tells the user through the host; a refusal that repeats is told once.
void Tell(const std::string &text)
{
    static std::mutex mutex;
    static std::string last;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (text == last)
            return;
        last = text;
    }
    tessel::ui::Notify(text.c_str());
}

enum class Found { Document, Corrupt, Unreadable };

// Reads and parses the store; a missing file is an empty store. Anything that is not a
// regular file, or is too large, counts as corrupt; why says what was wrong.
Found ReadStore(const std::string &path, RegistryDocument &document, std::string &why)
{
    document = RegistryDocument{};
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); // a FIFO must not hang us
    if (fd < 0 && errno == ENOENT)
        return Found::Document;
    if (fd < 0) {
        why = strerror(errno);
        return Found::Unreadable;
    }
    std::string text;
    struct stat status {};
    bool regular = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    char buffer[8192];
    ssize_t got = 0;
    while (regular && text.size() <= kMaxStoreSize &&
           (got = tessel::RetryOnEintr([&] { return read(fd, buffer, sizeof buffer); })) != 0) {
        if (got < 0) {
            why = strerror(errno);
            break;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    if (!regular)
        why = "not a regular file";
    else if (got < 0)
        return Found::Unreadable;
    else if (text.size() > kMaxStoreSize)
        why = "larger than 1 MiB";
    if (!why.empty())
        return Found::Corrupt;
    if (text.empty())
        return Found::Document;
    ParseResult parsed = ParseRegistryText(text);
    if (!parsed.document) {
        why = parsed.error;
        return Found::Corrupt;
    }
    document = std::move(*parsed.document);
    return Found::Document;
}

bool WriteAll(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t put = tessel::RetryOnEintr([&] { return write(fd, text.data() + done, text.size() - done); });
        if (put <= 0)
            return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

// Temporary files are only ever open under the exclusive lock, so any found by its
// holder were left by a writer that died. They are named after the file they replace.
void RemoveStaleTemporaries(const std::string &directory, const std::string &prefix)
{
    DIR *folder = opendir(directory.c_str());
    if (!folder)
        return;
    while (dirent *entry = readdir(folder))
        if (strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
            unlinkat(dirfd(folder), entry->d_name, 0);
    closedir(folder);
}

// Replaces the store (through a link, the file it names) with text; false with why.
bool ReplaceFile(const std::string &directory, const std::string &text, std::string &why)
{
    // Through a link, as editors write it: the file it names is replaced, the link stays.
    std::string path = FollowLinks(directory + "/" + kStoreFileName);
    std::string folder = DirectoryOf(path);
    std::string prefix = path.substr(path.rfind('/') + 1) + kTemporarySuffix;
    RemoveStaleTemporaries(folder, prefix);
    std::string temporary = folder + "/" + prefix + "XXXXXX";
    int fd = mkostemp(&temporary[0], O_CLOEXEC); // a new file of its own, never a link
    if (fd < 0) {
        why = "cannot make a file in " + folder + ": " + strerror(errno);
        return false;
    }
    // The replaced file's mode stays (a new store is private, as mkostemp makes it).
    // Its other hard links keep the old content: replacing is what keeps a crash from
    // leaving half a file, as version control and editors replace files too.
    struct stat replaced {};
    if (stat(path.c_str(), &replaced) == 0)
        fchmod(fd, replaced.st_mode & 07777);
    bool written = WriteAll(fd, text) && fsync(fd) == 0;
    written = close(fd) == 0 && written;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        why = "cannot write " + path + ": " + strerror(errno ? errno : EIO);
        unlink(temporary.c_str());
        return false;
    }
    int directoryFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directoryFd >= 0) {
        fsync(directoryFd);
        close(directoryFd);
    }
    return true;
}

// Moves a file to a name nothing has yet. File systems without RENAME_NOREPLACE get a
// hard link instead; false, with errno, when neither works.
bool MoveToFreeName(const std::string &from, const std::string &to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    if (link(from.c_str(), to.c_str()) != 0)
        return false;
    unlink(from.c_str()); // should this fail, the next write replaces it: the copy is safe
    return true;
}

// A file we cannot parse is moved aside under a name that no earlier one has, never
// overwritten, and the store starts empty. False when it could not be moved.
bool KeepCorruptFileAside(const std::string &directory, const std::string &why)
{
    std::string path = directory + "/" + kStoreFileName;
    char stamp[32];
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string aside = path + ".corrupt-" + stamp + (attempt ? "-" + std::to_string(attempt) : "");
        if (MoveToFreeName(path, aside)) {
            Tell("The settings file " + path + " could not be read (" + why + "); kept as " + aside +
                 ", starting from the defaults.");
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    Tell("The settings file " + path + " could not be read (" + why +
         ") nor kept aside; it is left untouched, and settings are not saved until it is "
         "mended or removed.");
    return false;
}

enum class Access { Read, Write };

std::mutex refusalsMutex;
unsigned refusals = 0;
std::string lastRefusal;

// A write that did not reach the file, for the host to ask about.
LONG CountRefusal(const std::string &why)
{
    std::lock_guard<std::mutex> lock(refusalsMutex);
    ++refusals;
    lastRefusal = why;
    return ERROR_ACCESS_DENIED;
}

// The plug-in does not look at what a write returns, so the user hears it this way.
LONG RefuseWrite(const std::string &directory, const std::string &why)
{
    Tell("Settings could not be saved in " + (directory.empty() ? "a settings folder" : directory) + " (" + why + ").");
    return CountRefusal(why);
}

// Runs one registry operation on the current document. A write that reports
// ERROR_SUCCESS replaces the file; any failure to store it is ERROR_ACCESS_DENIED.
LONG WithStore(Access access, const std::function<LONG(RegistryDocument &, bool &changed)> &operation)
{
    std::string directory = StoreDirectory();
    RegistryDocument document;
    bool changed = false;
    struct stat status {};
    if (access == Access::Read) {
        // Nothing stored yet; a read makes no folder.
        if (directory.empty() || stat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            return operation(document, changed);
    } else if (directory.empty()) {
        return RefuseWrite(directory, "no home folder to keep them in");
    } else if (std::string why; !MakeDirectories(directory, why)) {
        return RefuseWrite(directory, why);
    }
    StoreLock lock(directory, access == Access::Write);
    if (!lock.Held() && access == Access::Write)
        return RefuseWrite(directory, std::string("cannot lock ") + kLockFileName + ": " + strerror(errno));
    std::string path = directory + "/" + kStoreFileName;
    std::string why;
    Found found = ReadStore(path, document, why);
    bool keptAside = false;
    if (found == Found::Corrupt && lock.Held()) {
        if (!lock.Exclusive() && lock.MakeExclusive())
            found = ReadStore(path, document, why = "");
        if (found == Found::Corrupt && lock.Exclusive())
            keptAside = KeepCorruptFileAside(directory, why);
    }
    if (found == Found::Unreadable)
        return access == Access::Write ? RefuseWrite(directory, "cannot read " + path + ": " + why)
                                       : ERROR_ACCESS_DENIED;
    LONG result = operation(document, changed);
    if (result != ERROR_SUCCESS || !changed)
        return result;
    if (found == Found::Corrupt && !keptAside)
        return CountRefusal(path + " could not be read nor kept aside"); // already told
    std::string text = FormatRegistryText(document);
    // The next read would set such a file aside as corrupt.
    if (text.size() > kMaxStoreSize)
        return RefuseWrite(directory, "the file would grow past 1 MiB");
    return ReplaceFile(directory, text, why = "") ? ERROR_SUCCESS : RefuseWrite(directory, why);
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

// The .reg format has no way to write a control character in a name: one written raw
// would make the next read find the file corrupt. Win32 takes them; we refuse them.
bool Carriable(LPCSTR name)
{
    for (const char *c = name; c && *c; ++c)
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F)
            return false;
    return true;
}

// The path below HKEY_CURRENT_USER that a key and a sub-key name, or the error Win32
// gives for a bad handle or a malformed sub-key.
LONG SubKeyPath(HKEY key, LPCSTR subKey, std::string &path)
{
    std::string base;
    if (!KeyPath(key, base))
        return ERROR_INVALID_HANDLE;
    if (!Carriable(subKey))
        return ERROR_INVALID_PARAMETER;
    if (!JoinPath(base, subKey, path))
        return ERROR_BAD_PATHNAME;
    return ERROR_SUCCESS;
}

} // namespace

unsigned tessel::platform::RefusedStoreWrites(std::string *why)
{
    std::lock_guard<std::mutex> lock(refusalsMutex);
    if (why)
        *why = lastRefusal;
    return refusals;
}

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
    if ((!data && size) || !Carriable(name))
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
