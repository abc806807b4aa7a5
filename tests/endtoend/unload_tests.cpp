// A host that loads our BASS.dll itself and unloads it mid-play, without BASS_Free:
// FreeLibrary must return (nothing waits for the render thread under the loader lock)
// and the render thread must keep its code. This program does not import BASS.dll, so
// FreeLibrary drops the last reference the host holds.
#include "test_songs.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using InitProc = BOOL(WINAPI *)(int, DWORD, DWORD, HWND);
using LoadProc = DWORD(WINAPI *)(BOOL, const void *, DWORD, DWORD, DWORD);
using PlayProc = BOOL(WINAPI *)(DWORD, DWORD, int, BOOL);
using ActiveProc = DWORD(WINAPI *)(DWORD);
using FreeProc = void(WINAPI *)(void);

template <typename Proc>
Proc Find(HMODULE library, const char *name)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

DWORD WINAPI UnloadLibrary(LPVOID library)
{
    FreeLibrary(static_cast<HMODULE>(library));
    return 0;
}

TEST(Unload, MidPlayNeitherHangsNorPullsTheCodeFromTheRenderThread)
{
    SetEnvironmentVariableA("TESSEL_OUTPUT", "null");
    HMODULE library = LoadLibraryA("BASS.dll");
    ASSERT_NE(nullptr, library);
    auto init = Find<InitProc>(library, "BASS_Init");
    auto load = Find<LoadProc>(library, "BASS_MusicLoad");
    auto play = Find<PlayProc>(library, "BASS_MusicPlayEx");
    auto active = Find<ActiveProc>(library, "BASS_ChannelIsActive");
    ASSERT_TRUE(init && load && play && active);
    std::vector<uint8_t> module = modwriter::WriteXm(soundtest::TestSong("Unload", 4, 16, 1, 250));
    ASSERT_TRUE(init(-1, 44100, 0, nullptr));
    DWORD music = load(TRUE, module.data(), 0, DWORD(module.size()), 0x04 /* loop */);
    ASSERT_NE(0u, music);
    ASSERT_TRUE(play(music, 0, 0x100, TRUE));
    Sleep(100);
    ASSERT_EQ(1u, active(music));

    // From a thread of its own, so that a hang shows as a timeout here.
    HANDLE unloader = CreateThread(nullptr, 0, UnloadLibrary, library, 0, nullptr);
    ASSERT_NE(nullptr, unloader);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(unloader, 5000)) << "expected FreeLibrary to return";
    CloseHandle(unloader);
    Sleep(300); // the render thread goes on meanwhile: without its code this process dies

    // A host that loads it again finds the same library still playing, and ends it.
    library = LoadLibraryA("BASS.dll");
    ASSERT_NE(nullptr, library);
    active = Find<ActiveProc>(library, "BASS_ChannelIsActive");
    EXPECT_EQ(1u, active(music)) << "expected the music to have played on";
    Find<FreeProc>(library, "BASS_Free")();
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_EQ(nullptr, GetModuleHandleA("BASS.dll")) << "expected BASS_Free to have let the library go";
}

} // namespace
