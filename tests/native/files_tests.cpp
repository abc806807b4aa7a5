// Where the POSIX file calls depart from Win32 on purpose: only regular files open.
#include "tests/support/temp_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

TEST(FileOpening, FifoIsRefusedAtOnce)
{
    testkit::TempFolder folder("tessel-fifo");
    std::string fifo = folder.File("song.mod");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    // In a child, so that a blocking open fails the test instead of hanging it.
    pid_t child = fork();
    if (child == 0) {
        alarm(5);
        HANDLE file = CreateFileA(fifo.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        _exit(file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status)) << "the open blocked";
    EXPECT_EQ(0, WEXITSTATUS(status)) << "expected INVALID_HANDLE_VALUE with ERROR_ACCESS_DENIED";
}

} // namespace
