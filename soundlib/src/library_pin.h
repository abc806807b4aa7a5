// While the render thread runs, the library keeps itself loaded. On Windows a host may
// unload BASS.dll mid-play: the thread must not lose its code, and nothing may wait for
// it under the loader lock (where DllMain and static destructors run). The pin lasts
// until BASS_Free has joined the thread. POSIX needs none: a static destructor joins.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace tessel::sound {

class LibraryPin {
public:
#ifdef _WIN32
    LibraryPin()
    {
        // A reference to the module this code lives in, whatever it is named.
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&Anchor), &module_);
    }
    ~LibraryPin()
    {
        // Never the last reference here: whoever called BASS_Free holds one.
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
#else
    LibraryPin() = default;
#endif
    LibraryPin(const LibraryPin &) = delete;
    LibraryPin &operator=(const LibraryPin &) = delete;

private:
#ifdef _WIN32
    static void Anchor()
    {
    }
    HMODULE module_ = nullptr;
#endif
};

} // namespace tessel::sound
