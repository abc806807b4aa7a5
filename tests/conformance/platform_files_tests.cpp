// The file calls the readers depend on, checked against Win32 itself under Wine and
// against platform/ natively.
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

namespace {

class FileSemantics : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = folder.Write("ten.bin", std::string("0123456789"));
        file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << "error " << GetLastError();
    }
    void TearDown() override { CloseHandle(file); }

    std::string Read(DWORD count)
    {
        char buffer[64] = {};
        DWORD got = 12345;
        EXPECT_TRUE(ReadFile(file, buffer, count, &got, nullptr));
        return std::string(buffer, got);
    }

    TempFolder folder;
    std::string path;
    HANDLE file = INVALID_HANDLE_VALUE;
};

TEST_F(FileSemantics, ShortReadAtTheEndDeliversWhatIsThere)
{
    EXPECT_EQ(7u, SetFilePointer(file, 7, nullptr, FILE_BEGIN));
    EXPECT_EQ("789", Read(8));
    EXPECT_EQ("", Read(4)) << "a read at the end succeeds and delivers nothing";
}

TEST_F(FileSemantics, SeekPastTheEndSucceedsAndReadsNothing)
{
    EXPECT_EQ(1048608u, SetFilePointer(file, 1048608, nullptr, FILE_BEGIN));
    EXPECT_EQ("", Read(28));
    EXPECT_EQ(1048608u + 5, SetFilePointer(file, 5, nullptr, FILE_CURRENT)) << "relative moves go on from there";
}

TEST_F(FileSemantics, SeekBeforeTheStartFailsAndKeepsThePosition)
{
    SetFilePointer(file, 4, nullptr, FILE_BEGIN);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -8, nullptr, FILE_CURRENT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NEGATIVE_SEEK), GetLastError());
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -1, nullptr, FILE_BEGIN));
    EXPECT_EQ("45", Read(2)) << "the position stayed at 4";
}

TEST_F(FileSemantics, RelativeMovesAndReadsFollowOneAnother)
{
    EXPECT_EQ("01", Read(2));
    EXPECT_EQ(5u, SetFilePointer(file, 3, nullptr, FILE_CURRENT));
    EXPECT_EQ("56", Read(2));
    EXPECT_EQ(6u, SetFilePointer(file, -4, nullptr, FILE_END));
    LONG high = -1; // with the low part, -4 as a 64-bit distance
    EXPECT_EQ(2u, SetFilePointer(file, -4, &high, FILE_CURRENT));
    EXPECT_EQ(0, high) << "the high part of the new position";
}

TEST(FileOpening, MissingFileAndFolder)
{
    TempFolder folder;
    HANDLE missing = CreateFileA(folder.File("absent.xm").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, missing);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    HANDLE folderHandle = CreateFileA(folder.Path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, folderHandle) << "a folder does not open as a file";
    if (folderHandle != INVALID_HANDLE_VALUE)
        CloseHandle(folderHandle);
}

} // namespace
