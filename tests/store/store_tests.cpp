// The registry store on POSIX: one .reg file that several processes share, that a
// crash cannot half-write, and that is kept aside, not lost, when it cannot be read.
#include "tests/support/box_recorder.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char concurrentKey[] = "Software\\Vantrel\\Concurrent";

// Each test gets an empty configuration folder of its own.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *previous = getenv("XDG_CONFIG_HOME");
        saved = previous ? previous : "";
        char pattern[] = "/tmp/tessel-store-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        home = pattern;
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    }
    void TearDown() override
    {
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
        std::string command = "rm -rf '" + home + "'";
        if (system(command.c_str()) != 0)
            ADD_FAILURE() << "could not remove " << home;
    }

    std::string StoreFile() const { return home + "/tessel/registry.reg"; }
    std::vector<std::string> CorruptCopies() const
    {
        std::vector<std::string> names;
        if (DIR *folder = opendir((home + "/tessel").c_str())) {
            while (dirent *entry = readdir(folder))
                if (std::string(entry->d_name).find("registry.reg.corrupt-") == 0)
                    names.push_back(home + "/tessel/" + entry->d_name);
            closedir(folder);
        }
        return names;
    }
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
        LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                      nullptr);
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
        bool found = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE *>(&value),
                                      &size) == ERROR_SUCCESS;
        RegCloseKey(key);
        return found;
    }

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
                if (SetDword(concurrentKey, "p" + std::to_string(child) + "-" + std::to_string(i), i) != ERROR_SUCCESS)
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
            if (!GetDword(concurrentKey, "p" + std::to_string(child) + "-" + std::to_string(i), value) ||
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
}

} // namespace
