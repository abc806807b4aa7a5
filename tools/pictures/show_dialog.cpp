// show_dialog config|info [MODULE] STOP_FILE: opens one of the plug-in's dialogs as the
// player does (the record's Config, or InfoBox while MODULE plays), prints the dialog's
// place on the screen as "x y width height" once it is drawn, and closes it with Cancel
// when STOP_FILE exists. scripts/pictures takes the screen picture in between.
#include "plugin/in_module.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char configCaption[] = "Velkin Configuration";
const char infoCaption[] = "Module Info";

struct Watch {
    const char *caption;
    std::string stopFile;
    DWORD mainThread;
    std::atomic<bool> done{false};
    bool shown = false;
};

// The folder of this program, where the player's layout puts Plugins\.
std::string ProgramFolder()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

DWORD WINAPI WatchDialog(void *argument)
{
    Watch &watch = *static_cast<Watch *>(argument);
    HWND dialog = nullptr;
    for (int tries = 0; tries < 400 && !(dialog && IsWindowVisible(dialog)); ++tries) {
        Sleep(50);
        dialog = FindWindowExA(nullptr, nullptr, "#32770", watch.caption);
    }
    if (dialog) {
        // The dialog's thread past WM_INITDIALOG and back in its loop, then every
        // control painted before the picture.
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer))
            fprintf(stderr, "show_dialog: the dialog did not answer in 30 s\n");
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        Sleep(1000);
        RECT place;
        GetWindowRect(dialog, &place);
        printf("%ld %ld %ld %ld\n", place.left, place.top, place.right - place.left, place.bottom - place.top);
        fflush(stdout);
        watch.shown = true;
        for (int tries = 0; tries < 1200 && GetFileAttributesA(watch.stopFile.c_str()) == INVALID_FILE_ATTRIBUTES;
             ++tries)
            Sleep(50);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        Sleep(200); // for the dialog to take its Cancel before the loop ends
    }
    watch.done = true;
    PostThreadMessageA(watch.mainThread, WM_NULL, 0, 0);
    return 0;
}

int Usage()
{
    fprintf(stderr, "usage: show_dialog config STOP_FILE | show_dialog info MODULE STOP_FILE\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    bool config = argc == 3 && strcmp(argv[1], "config") == 0;
    bool info = argc == 4 && strcmp(argv[1], "info") == 0;
    if (!config && !info)
        return Usage();

    std::string pluginPath = ProgramFolder() + "Plugins\\IN_TESSEL.dll";
    HMODULE plugin = LoadLibraryA(pluginPath.c_str());
    if (!plugin) {
        fprintf(stderr, "show_dialog: cannot load %s (error %lu)\n", pluginPath.c_str(), GetLastError());
        return 1;
    }
    auto entry =
        reinterpret_cast<GetInModule2Proc>(reinterpret_cast<void (*)()>(GetProcAddress(plugin, "winampGetInModule2")));
    if (!entry) {
        fprintf(stderr, "show_dialog: %s exports no winampGetInModule2\n", pluginPath.c_str());
        return 1;
    }
    In_Module *record = entry();

    // The player's main window: the dialogs' owner, never shown.
    HWND owner = CreateWindowExA(0, "Static", "tessel pictures", WS_OVERLAPPEDWINDOW, 40, 40, 300, 200, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    record->hMainWindow = owner;
    record->hDllInstance = plugin;
    record->Init();

    Watch watch;
    watch.caption = config ? configCaption : infoCaption;
    watch.stopFile = argv[argc - 1];
    watch.mainThread = GetCurrentThreadId();
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue, before the watcher posts to it
    HANDLE watcher = CreateThread(nullptr, 0, WatchDialog, &watch, 0, nullptr);

    // Both dialogs are modeless: this thread runs them until the watcher is done.
    if (config) {
        record->Config(owner);
    } else {
        // The dialog shows what is playing: the module, played on the output that
        // TESSEL_OUTPUT names (scripts/pictures: null).
        if (record->Play(argv[2]) != 0) {
            fprintf(stderr, "show_dialog: %s does not play\n", argv[2]);
            return 1;
        }
        record->InfoBox(argv[2], owner);
    }
    while (!watch.done) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    WaitForSingleObject(watcher, INFINITE);
    if (info)
        record->Stop();
    CloseHandle(watcher);
    record->Quit();
    DestroyWindow(owner);
    if (!watch.shown) {
        fprintf(stderr, "show_dialog: no \"%s\" dialog appeared\n", watch.caption);
        return 1;
    }
    return 0;
}
