// The registry store on POSIX: one .reg file that several processes share, that a
// crash cannot half-write, and that is kept aside, not lost, when it cannot be read.
#include "tests/support/box_recorder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

#include <tessel/ui_backend.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// A file system without hard links or RENAME_NOREPLACE, for the store in this
// process: these stand in for the C library's own while movesFail is set.
std::atomic<bool> movesFail{false};

extern "C" int renameat2(int fromFolder, const char *from, int toFolder, const char *to, unsigned int flags) noexcept
{
    if (movesFail) {
        errno = EINVAL;
        return -1;
    }
    using Real = int (*)(int, const char *, int, const char *, unsigned int);
    static auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "renameat2"));
    return real(fromFolder, from, toFolder, to, flags);
}

extern "C" int link(const char *from, const char *to) noexcept
{
    if (movesFail) {
        errno = EPERM;
        return -1;
    }
    using Real = int (*)(const char *, const char *);
    static auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "link"));
    return real(from, to);
}

// While scribble is set, a query whose value does not fit scribbles over the buffer, as
// Windows may; the plug-in's queries come here (the program exports it).
std::atomic<bool> scribble{false};

extern "C" LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                        LPDWORD size)
{
    using Real = LONG(WINAPI *)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    static auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "RegQueryValueExA"));
    DWORD room = size ? *size : 0;
    LONG result = real(key, name, reserved, type, data, size);
    if (scribble && result == ERROR_MORE_DATA && data)
        memset(data, 0xA5, room);
    return result;
}

namespace {

const char kConcurrentKey[] = "Software\\Vantrel\\Concurrent";

class NoticeRecorder : public tessel::ui::Backend {
public:
    NoticeRecorder() : previous(tessel::ui::InstallBackend(this)) {}
    ~NoticeRecorder() override { tessel::ui::InstallBackend(previous); }
    int MessageBox(HWND, const char *, const char *, UINT) override { return IDOK; }
    void Notice(const char *text) override { notices.push_back(text); }

    std::vector<std::string> notices;
    tessel::ui::Backend *previous;
};

// Runs check in a child process, which must exit 0 within a few seconds.
bool InChild(const std::function<bool()> &check)
{
    pid_t child = fork();
    if (child == 0) {
        alarm(5); // against a hang
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Each test gets an empty configuration folder of its own.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *previous = getenv("XDG_CONFIG_HOME");
        saved = previous ? previous : "";
        temp = std::make_unique<testkit::TempFolder>("tessel-store");
        home = temp->Path();
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    }
    void TearDown() override
    {
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
        temp.reset();
    }

    std::string StoreFile() const { return home + "/tessel/registry.reg"; }
    std::vector<std::string> FilesStartingWith(const std::string &prefix) const
    {
        std::vector<std::string> names;
        if (DIR *folder = opendir((home + "/tessel").c_str())) {
            while (dirent *entry = readdir(folder))
                if (std::string(entry->d_name).find(prefix) == 0)
                    names.push_back(home + "/tessel/" + entry->d_name);
            closedir(folder);
        }
        return names;
    }
    std::vector<std::string> CorruptCopies() const { return FilesStartingWith("registry.reg.corrupt-"); }
    static std::string ReadText(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void WriteText(const std::string &path, const std::string &text)
    {
        mkdir(path.substr(0, path.rfind('/')).c_str(), 0700);
        std::ofstream(path, std::ios::binary) << text;
    }
    static LONG SetDword(const char *keyPath, const std::string &name, DWORD value)
    {
        HKEY key;
        LONG result =
            RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (result != ERROR_SUCCESS)
            return result;
        result = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), 4);
        RegCloseKey(key);
        return result;
    }
    static bool GetDword(const char *keyPath, const std::string &name, DWORD &value)
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        DWORD size = 4;
        bool found = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size) ==
                     ERROR_SUCCESS;
        RegCloseKey(key);
        return found;
    }

    std::unique_ptr<testkit::TempFolder> temp;
    std::string home, saved;
};

TEST_F(StoreTest, TwoProcessesWritingAtOnceLoseNothing)
{
    const int writes = 120;
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
        children[child] = fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            for (int i = 0; i < writes; ++i)
                if (SetDword(kConcurrentKey, "p" + std::to_string(child) + "-" + std::to_string(i), i) != ERROR_SUCCESS)
                    _exit(1);
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
    }
    int missing = 0;
    for (int child = 0; child < 2; ++child)
        for (int i = 0; i < writes; ++i) {
            DWORD value = 0xFFFF;
            if (!GetDword(kConcurrentKey, "p" + std::to_string(child) + "-" + std::to_string(i), value) ||
                value != static_cast<DWORD>(i))
                ++missing;
        }
    EXPECT_EQ(0, missing) << "values lost between two writers";
}

TEST_F(StoreTest, WriterKilledMidWayLeavesACompleteFile)
{
    ASSERT_EQ(ERROR_SUCCESS, SetDword(SETTINGS_KEY, "freq", 44100));
    for (int round = 0; round < 6; ++round) {
        pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            for (DWORD i = 0;; ++i)
                SetDword(SETTINGS_KEY, "counter" + std::to_string(i % 50), i);
        }
        usleep(3000 + round * 7000);
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        DWORD freq = 0;
        EXPECT_TRUE(GetDword(SETTINGS_KEY, "freq", freq)) << "round " << round;
        EXPECT_EQ(44100u, freq) << "round " << round;
        EXPECT_TRUE(CorruptCopies().empty()) << "round " << round << " left a file that does not parse";
    }
}

TEST_F(StoreTest, CorruptFileIsKeptAsideNeverOverwritten)
{
    const std::string garbage = "this is not a registry file\n[HKEY_CURRENT_USER\\x\n";
    WriteText(StoreFile(), garbage);
    DWORD value = 0;
    EXPECT_FALSE(GetDword(SETTINGS_KEY, "freq", value)) << "the store starts empty";
    auto copies = CorruptCopies();
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(garbage, ReadText(copies[0])) << "the unreadable file is kept byte for byte";

    // A second bad file within the same second gets a name of its own.
    WriteText(StoreFile(), "Windows Registry Editor Version 5.00\n\n\"value\"=outside a key\n");
    EXPECT_FALSE(GetDword(SETTINGS_KEY, "freq", value));
    EXPECT_EQ(2u, CorruptCopies().size());
    EXPECT_EQ(garbage, ReadText(copies[0])) << "the first copy was overwritten";
}

TEST_F(StoreTest, InitOverACorruptFileStartsFromTheSettingsInMemory)
{
    LoadPluginSettings(2, 22050, 1, 0x45);
    WriteText(StoreFile(), "\x01\x02 not text");
    BoxRecorder recorder;
    Plugin()->Init();
    EXPECT_TRUE(recorder.Boxes().empty()) << Describe(recorder.Boxes());
    EXPECT_EQ(22050u, SettingsDword("freq"));
    EXPECT_EQ(0x45u, SettingsDword("modflags"));
    EXPECT_EQ(1u, CorruptCopies().size());

    // A value too long for its field keeps the setting, whatever the failed query left.
    WriteSettingsValue("modflags", REG_SZ, "handwritten", 12);
    scribble = true;
    Plugin()->Init();
    scribble = false;
    EXPECT_EQ(0x45u, SettingsDword("modflags"));
}

TEST_F(StoreTest, InitOverAStoreThatCannotBeWrittenShowsTheRegistryBox)
{
    // A regular file where the folder should be: refused even to root.
    std::string blocked = home + "/blocked";
    WriteText(blocked, "x");
    setenv("XDG_CONFIG_HOME", blocked.c_str(), 1);
    BoxRecorder recorder;
    Plugin()->Init();
    ASSERT_EQ(1u, recorder.Boxes().size()) << Describe(recorder.Boxes());
    EXPECT_EQ("Registry error", recorder.Boxes()[0].caption);
    EXPECT_EQ("Cannot open registry key", recorder.Boxes()[0].text);
    EXPECT_EQ(nullptr, recorder.Boxes()[0].owner);
    EXPECT_EQ(MB_OK, recorder.Boxes()[0].buttons | recorder.Boxes()[0].icon);
}

TEST_F(StoreTest, FileIsTheRegFormatThatEditorsRead)
{
    LoadPluginSettings(-1, 44100, 0, 2);
    std::string text = ReadText(StoreFile());
    EXPECT_EQ(0u, text.find("Windows Registry Editor Version 5.00\n")) << text;
    EXPECT_NE(std::string::npos, text.find("[HKEY_CURRENT_USER\\Software\\Vantrel\\Velkin\\0.8]\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\"device\"=dword:ffffffff\n")) << text;
    EXPECT_NE(std::string::npos, text.find("\"freq\"=dword:0000ac44\n")) << text;
}

TEST_F(StoreTest, HandWrittenFileIsRead)
{
    WriteText(StoreFile(), "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                           "\r\n"
                           "; edited by hand\r\n"
                           "; was: \"old\"=hex:01,\\\r\n" // a comment never continues
                           "[HKEY_CURRENT_USER\\Software\\Vantrel\\Velkin\\0.8]\r\n"
                           "\"FREQ\"=dword:00005622\r\n"
                           "\"blob\"=hex:01,02,\\\r\n"
                           "  03,04\r\n");
    DWORD freq = 0;
    ASSERT_TRUE(GetDword(SETTINGS_KEY, "freq", freq));
    EXPECT_EQ(22050u, freq);
    DWORD blob = 0;
    ASSERT_TRUE(GetDword(SETTINGS_KEY, "blob", blob)) << "a continued hex line";
    EXPECT_EQ(0x04030201u, blob);
    EXPECT_TRUE(CorruptCopies().empty());

    // Blanks and tabs at line ends, bare LFs and no final newline: editors take these too.
    WriteText(StoreFile(), "Windows Registry Editor Version 5.00 \n"
                           "\n"
                           "[HKEY_CURRENT_USER\\Software\\Vantrel\\Velkin\\0.8]\t\n"
                           "\"freq\"=dword:0000bb80 \n"
                           "\"blob\"=hex:05,06,\\ \t\n"
                           "  07,08\t \r\n"
                           "\"name\"=\"a b\"  ");
    ASSERT_TRUE(GetDword(SETTINGS_KEY, "freq", freq));
    EXPECT_EQ(48000u, freq);
    ASSERT_TRUE(GetDword(SETTINGS_KEY, "blob", blob));
    EXPECT_EQ(0x08070605u, blob);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key));
    char name[8] = {};
    DWORD size = sizeof name;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "name", nullptr, nullptr, reinterpret_cast<BYTE *>(name), &size));
    RegCloseKey(key);
    EXPECT_STREQ("a b", name) << "blanks inside the quotes stay";
    EXPECT_TRUE(CorruptCopies().empty());
}

TEST_F(StoreTest, CorruptFileThatCannotBeKeptAsideRefusesWritesAndStaysAsItIs)
{
    const std::string garbage = "not a registry file\n";
    WriteText(StoreFile(), garbage);
    NoticeRecorder recorder;
    movesFail = true;
    LONG written = SetDword(SETTINGS_KEY, "freq", 48000);
    DWORD value = 0;
    bool read = GetDword(SETTINGS_KEY, "freq", value);
    movesFail = false;
    EXPECT_EQ(ERROR_ACCESS_DENIED, written);
    EXPECT_FALSE(read) << "reads see an empty store";
    EXPECT_EQ(garbage, ReadText(StoreFile())) << "the file is left as the message says";
    EXPECT_TRUE(CorruptCopies().empty());
    ASSERT_FALSE(recorder.notices.empty()) << "the user hears of it through the host, not stderr";
    EXPECT_NE(std::string::npos, recorder.notices[0].find("left untouched")) << recorder.notices[0];
}

TEST_F(StoreTest, NamesWithControlCharactersAreRefusedAndTheFileStaysReadable)
{
    EXPECT_EQ(ERROR_INVALID_PARAMETER, SetDword(SETTINGS_KEY, "line\nbreak", 1));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, SetDword("Software\\Vantrel\\Tab\there", "freq", 1));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(SETTINGS_KEY, "freq", 44100));
    DWORD freq = 0;
    EXPECT_TRUE(GetDword(SETTINGS_KEY, "freq", freq));
    EXPECT_EQ(44100u, freq);
    EXPECT_TRUE(CorruptCopies().empty());
}

TEST_F(StoreTest, StaleTemporaryFilesAreRemovedAndNeverFollowed)
{
    ASSERT_EQ(ERROR_SUCCESS, SetDword(SETTINGS_KEY, "freq", 44100));
    // What killed writers leave, and a link planted where a writer might write.
    std::string folder = home + "/tessel/";
    WriteText(folder + "registry.reg.tmp.4242", "half a file");
    std::string victim = home + "/victim";
    WriteText(victim, "precious");
    ASSERT_EQ(0, symlink(victim.c_str(), (folder + "registry.reg.tmp." + std::to_string(getpid())).c_str()));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(SETTINGS_KEY, "freq", 22050));
    EXPECT_TRUE(FilesStartingWith("registry.reg.tmp.").empty());
    EXPECT_EQ("precious", ReadText(victim));
    DWORD freq = 0;
    EXPECT_TRUE(GetDword(SETTINGS_KEY, "freq", freq));
    EXPECT_EQ(22050u, freq);

    // The store file itself, linked as a dotfiles repository links it, is written
    // through: the file it names gets the write.
    ASSERT_EQ(0, rename(StoreFile().c_str(), (home + "/dotfiles.reg").c_str()));
    ASSERT_EQ(0, symlink("../dotfiles.reg", StoreFile().c_str()));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(SETTINGS_KEY, "freq", 48000));
    EXPECT_NE(std::string::npos, ReadText(home + "/dotfiles.reg").find("\"freq\"=dword:0000bb80"));
    // Its mode stays the one its owner gave it.
    ASSERT_EQ(0, chmod((home + "/dotfiles.reg").c_str(), 0644));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(SETTINGS_KEY, "freq", 44100));
    struct stat status {};
    ASSERT_EQ(0, stat((home + "/dotfiles.reg").c_str(), &status));
    EXPECT_EQ(0644u, status.st_mode & 07777) << "expected mode 0644, got " << std::oct << (status.st_mode & 07777);
}

TEST_F(StoreTest, FileOverOneMebibyteCountsAsCorrupt)
{
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Big]\n\"blob\"=hex:00";
    while (text.size() <= (1u << 20))
        text += ",00";
    WriteText(StoreFile(), text + "\n");
    HKEY key;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Big", 0, KEY_READ, &key));
    EXPECT_EQ(1u, CorruptCopies().size());

    // Nor does the store write past the limit: the write is refused, the file left as it was.
    while (text.size() > (1u << 20) - 10)
        text.resize(text.size() - 3);
    WriteText(StoreFile(), text + "\n");
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword("Software\\Big", "freq", 44100));
    EXPECT_TRUE(ReadText(StoreFile()) == text + "\n") << "the file was rewritten";
}

TEST_F(StoreTest, ReadsShareTheLock)
{
    ASSERT_EQ(ERROR_SUCCESS, SetDword(SETTINGS_KEY, "freq", 44100));
    int lock = open((home + "/tessel/registry.lock").c_str(), O_RDWR);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(0, flock(lock, LOCK_SH)); // another reader at work
    EXPECT_TRUE(InChild([] {
        DWORD freq = 0;
        return GetDword(SETTINGS_KEY, "freq", freq) && freq == 44100;
    })) << "a read waited for another read";
    close(lock);
}

TEST_F(StoreTest, WithoutHomeTheFolderComesFromThePasswordDatabase)
{
    passwd *account = getpwuid(getuid());
    ASSERT_NE(nullptr, account);
    std::string folder = std::string(account->pw_dir) + "/.config/tessel";
    struct stat status {};
    bool existed = stat(folder.c_str(), &status) == 0;
    // A key of this test's own, gone again before the child ends: whatever the account
    // keeps there stays as it was.
    std::string key = "Software\\Vantrel\\Store test " + std::to_string(getpid());
    bool stored = InChild([&] {
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("HOME");
        bool written = SetDword(key.c_str(), "freq", 32000) == ERROR_SUCCESS;
        std::string text = ReadText(folder + "/registry.reg");
        RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
        return written && text.find(key) != std::string::npos;
    });
    if (!existed) {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
        EXPECT_FALSE(error) << "could not remove " << folder << ": " << error.message();
    }
    EXPECT_TRUE(stored) << "the settings went somewhere else than " << folder;
}

} // namespace
