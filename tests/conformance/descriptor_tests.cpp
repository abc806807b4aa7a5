// The record as the host reads it, and the descriptor's small operations.
#include "tests/support/box_recorder.h"
#include "tests/support/host_window.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<std::string, std::string>> ExtensionPairs(const char *block)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    while (*block) {
        std::string extension = block;
        block += extension.size() + 1;
        std::string description = block;
        block += description.size() + 1;
        pairs.emplace_back(extension, description);
    }
    return pairs;
}

TEST(Descriptor, FixedValuesAndPluginSlots)
{
    In_Module *record = Plugin();
    EXPECT_EQ(0x100, record->version);
    EXPECT_STREQ("Tessel PlugIn v0.8", record->description);
    EXPECT_EQ(1, record->is_seekable);
    EXPECT_EQ(0, record->UsesOutputPlug);
    // Every operation of the plug-in is filled in; the host's slots start empty.
    void (*const operations[])() = {
        reinterpret_cast<void (*)()>(record->Config),        reinterpret_cast<void (*)()>(record->About),
        reinterpret_cast<void (*)()>(record->Init),          reinterpret_cast<void (*)()>(record->Quit),
        reinterpret_cast<void (*)()>(record->GetFileInfo),   reinterpret_cast<void (*)()>(record->InfoBox),
        reinterpret_cast<void (*)()>(record->IsOurFile),     reinterpret_cast<void (*)()>(record->Play),
        reinterpret_cast<void (*)()>(record->Pause),         reinterpret_cast<void (*)()>(record->UnPause),
        reinterpret_cast<void (*)()>(record->IsPaused),      reinterpret_cast<void (*)()>(record->Stop),
        reinterpret_cast<void (*)()>(record->GetLength),     reinterpret_cast<void (*)()>(record->GetOutputTime),
        reinterpret_cast<void (*)()>(record->SetOutputTime), reinterpret_cast<void (*)()>(record->SetVolume),
        reinterpret_cast<void (*)()>(record->SetPan),        reinterpret_cast<void (*)()>(record->EQSet)};
    for (size_t i = 0; i < sizeof operations / sizeof operations[0]; ++i)
        EXPECT_NE(nullptr, operations[i]) << "operation slot " << i << " is empty";
    EXPECT_EQ(nullptr, record->SAVSAInit);
    EXPECT_EQ(nullptr, record->dsp_dosamples);
    EXPECT_EQ(nullptr, record->outMod);
}

TEST(Descriptor, SlotsStandWhereTheHostLooks)
{
    // The host reads the record by position: pointer-sized slots after the version.
    const size_t slot = sizeof(void *);
    EXPECT_EQ(1 * slot, offsetof(In_Module, description));
    EXPECT_EQ(4 * slot, offsetof(In_Module, FileExtensions));
    EXPECT_EQ(7 * slot, offsetof(In_Module, Config));
    EXPECT_EQ(14 * slot, offsetof(In_Module, Play));
    EXPECT_EQ(24 * slot, offsetof(In_Module, SAVSAInit));
    EXPECT_EQ(35 * slot, offsetof(In_Module, EQSet));
    EXPECT_EQ(36 * slot, offsetof(In_Module, SetInfo));
    EXPECT_EQ(38 * slot, sizeof(In_Module));
}

TEST(Descriptor, ExtensionListReadAsTheHostReadsIt)
{
    auto pairs = ExtensionPairs(Plugin()->FileExtensions);
    std::vector<std::pair<std::string, std::string>> expected = {
        {"XM", "FastTracker II Module (*.XM)"},   {"IT", "ImpulseTracker Module (*.IT)"},
        {"S3M", "ScreamTracker Module (*.S3M)"},  {"MOD", "ProTracker Module (*.MOD)"},
        {"MO3", "MP3 Compressed Module (*.MO3)"},
    };
    EXPECT_EQ(expected, pairs);
}

TEST(Descriptor, EveryCallReturnsTheSameRecordWithTheHostsWrites)
{
    auto entry = reinterpret_cast<GetInModule2Proc>(
        reinterpret_cast<void (*)()>(GetProcAddress(PluginModule(), "winampGetInModule2")));
    ASSERT_NE(nullptr, entry);
    In_Module *first = entry();
    HWND previous = first->hMainWindow;
    first->hMainWindow = reinterpret_cast<HWND>(0x1234);
    In_Module *second = entry();
    EXPECT_EQ(first, second);
    EXPECT_EQ(reinterpret_cast<HWND>(0x1234), second->hMainWindow);
    first->hMainWindow = previous;
}

TEST(Descriptor, ClaimsNoFileBeyondItsExtensionList)
{
    for (const char *name : {"song.xm", "SONG.IT", "readme.txt", "", "C:\\mods\\tune.mo3"})
        EXPECT_EQ(0, Plugin()->IsOurFile(name)) << "IsOurFile(\"" << name << "\")";
}

TEST(Descriptor, QuitAndEqualiserChangeNothing)
{
    char bands[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    In_Module before;
    memcpy(&before, Plugin(), sizeof before);
    Plugin()->Quit();
    Plugin()->EQSet(1, bands, 20);
    EXPECT_EQ(0, memcmp(&before, Plugin(), sizeof before)) << "the record changed";
}

TEST(Descriptor, AboutBoxWithAndWithoutOwner)
{
    HostWindow host;
    BoxRecorder recorder;
    Plugin()->About(host.Handle());
    Plugin()->About(nullptr);
    ASSERT_EQ(2u, recorder.Boxes().size()) << Describe(recorder.Boxes());
    EXPECT_EQ(host.Handle(), recorder.Boxes()[0].owner) << "owned by the window the host passed";
    EXPECT_EQ(nullptr, recorder.Boxes()[1].owner);
    for (const RecordedBox &box : recorder.Boxes()) {
        EXPECT_EQ("About Tessel PlugIn", box.caption);
        EXPECT_EQ(0u, box.icon) << "the About box has no icon";
        EXPECT_EQ(MB_OK, box.buttons);
        EXPECT_EQ(0u, box.text.find("Tessel PlugIn 0.8.3\n\n")) << box.text;
        EXPECT_NE(std::string::npos, box.text.find("BASS 0.8")) << box.text;
    }
}

} // namespace
