// The registry calls the settings store depends on, checked against Win32 itself
// under Wine and against platform/ natively.
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char kTestKey[] = "Software\\Vantrel\\TesselRegistryTest";

class RegistrySemantics : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override
    {
        if (key)
            RegCloseKey(key);
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    }

    DWORD Create()
    {
        if (key)
            RegCloseKey(key);
        DWORD disposition = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 KEY_ALL_ACCESS, nullptr, &key, &disposition));
        return disposition;
    }

    HKEY key = nullptr;
};

TEST_F(RegistrySemantics, CreateTellsANewKeyFromAnExistingOne)
{
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), Create());
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), Create());
    HKEY opened;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "software\\VANTREL\\tesselregistrytest", 0, KEY_READ, &opened))
        << "key names ignore case";
    RegCloseKey(opened);
}

TEST_F(RegistrySemantics, QueryIntoASmallerBufferGivesMoreDataAndCopiesNothing)
{
    Create();
    const char text[] = "longer than four";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "text", 0, REG_SZ, reinterpret_cast<const BYTE *>(text), sizeof text));
    BYTE buffer[4] = {0xAA, 0xBB, 0xCC, 0xDD};
    DWORD size = sizeof buffer, type = 0;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "text", nullptr, &type, buffer, &size));
    EXPECT_EQ(sizeof text, size) << "the size it needs";
    const BYTE untouched[4] = {0xAA, 0xBB, 0xCC, 0xDD};
    EXPECT_EQ(0, memcmp(untouched, buffer, 4)) << "nothing was copied";
}

TEST_F(RegistrySemantics, SmallerValueFillsOnlyItsOwnBytes)
{
    Create();
    const BYTE two[] = {0x11, 0x22};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "two", 0, REG_BINARY, two, sizeof two));
    BYTE buffer[4] = {0xAA, 0xBB, 0xCC, 0xDD};
    DWORD size = sizeof buffer, type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "two", nullptr, &type, buffer, &size));
    EXPECT_EQ(2u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    const BYTE expected[4] = {0x11, 0x22, 0xCC, 0xDD};
    EXPECT_EQ(0, memcmp(expected, buffer, 4));
}

TEST_F(RegistrySemantics, ValuesOfEveryKindRoundTrip)
{
    Create();
    DWORD word = 0xFFFFFFFF;
    const char quoted[] = "a \"quoted\" \\ text";
    const BYTE binary[] = {0, 1, 2, 0xFE, 0xFF};
    const BYTE multi[] = {'a', 0, 'b', 0, 0};
    RegSetValueExA(key, "word", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&word), 4);
    RegSetValueExA(key, "Quoted", 0, REG_SZ, reinterpret_cast<const BYTE *>(quoted), sizeof quoted);
    RegSetValueExA(key, "binary", 0, REG_BINARY, binary, sizeof binary);
    RegSetValueExA(key, "multi", 0, REG_MULTI_SZ, multi, sizeof multi);
    RegSetValueExA(key, "empty", 0, REG_BINARY, nullptr, 0);
    struct {
        const char *name;
        DWORD type;
        const void *data;
        DWORD size;
    } const expected[] = {{"WORD", REG_DWORD, &word, 4},
                          {"quoted", REG_SZ, quoted, sizeof quoted},
                          {"binary", REG_BINARY, binary, sizeof binary},
                          {"multi", REG_MULTI_SZ, multi, sizeof multi},
                          {"empty", REG_BINARY, nullptr, 0}};
    RegCloseKey(key);
    key = nullptr;
    Create();
    for (const auto &value : expected) {
        BYTE buffer[64] = {};
        DWORD size = sizeof buffer, type = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, value.name, nullptr, &type, buffer, &size)) << value.name;
        EXPECT_EQ(value.type, type) << value.name;
        ASSERT_EQ(value.size, size) << value.name;
        if (size) {
            EXPECT_EQ(0, memcmp(value.data, buffer, size)) << value.name;
        }
    }
}

TEST_F(RegistrySemantics, MissingValuesAndDeletion)
{
    Create();
    DWORD size = 4, type = 0;
    BYTE buffer[4];
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "absent", nullptr, &type, buffer, &size));
    DWORD one = 1;
    RegSetValueExA(key, "gone", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "gone"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key, "gone"));
    RegCloseKey(key);
    key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey));
    HKEY opened;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &opened));
}

} // namespace
