#include "tests/support/test_host.h"

#include "modwriter/module_writer.h"

#include <cstdio>
#include <cstdlib>

#ifndef TESSEL_PLUGIN_PATH
#define TESSEL_PLUGIN_PATH "IN_TESSEL.dll"
#endif

HMODULE PluginModule()
{
    static HMODULE module = [] {
        HMODULE loaded = LoadLibraryA(TESSEL_PLUGIN_PATH);
        if (!loaded) {
            fprintf(stderr, "cannot load the plug-in %s (error %lu)\n", TESSEL_PLUGIN_PATH,
                    static_cast<unsigned long>(GetLastError()));
            abort();
        }
        return loaded;
    }();
    return module;
}

In_Module *Plugin()
{
    static In_Module *record = [] {
        auto entry = reinterpret_cast<GetInModule2Proc>(
            reinterpret_cast<void (*)()>(GetProcAddress(PluginModule(), "winampGetInModule2")));
        if (!entry) {
            fprintf(stderr, "the plug-in does not export winampGetInModule2\n");
            abort();
        }
        return entry();
    }();
    return record;
}

void DeleteSettingsKey()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, SETTINGS_KEY);
}

bool ReadSettingsValue(const char *name, DWORD &type, std::vector<BYTE> &data)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        data.assign(size, 0);
        result = RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

void WriteSettingsValue(const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
    RegCloseKey(key);
}

DWORD SettingsDword(const char *name)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadSettingsValue(name, type, data) || data.size() != 4)
        return 0xDEADBEEF;
    return modwriter::Le32At(data, 0);
}

void LoadPluginSettings(LONG device, DWORD freq, DWORD devflags, DWORD modflags)
{
    DeleteSettingsKey();
    WriteSettingsValue("device", REG_DWORD, &device, 4);
    WriteSettingsValue("freq", REG_DWORD, &freq, 4);
    WriteSettingsValue("devflags", REG_DWORD, &devflags, 4);
    WriteSettingsValue("modflags", REG_DWORD, &modflags, 4);
    Plugin()->Init();
}

char PathSeparator()
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    return length ? temp[length - 1] : '\\';
}
