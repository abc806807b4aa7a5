// Settings in the registry and the start-up check of the sound library.
#include "settings/settings.h"

#include "soundlib/include/bass.h"
#include "plugin/plugin.h"

Settings settings = {-1, 44100, 0, 2};

// Opened for each access and closed right after it.
static HKEY settingsKey;

struct SettingsValue {
    const char *name;
    DWORD *field;
};

// Always read and written in this order.
static const SettingsValue settingsValues[] = {
    {"device", reinterpret_cast<DWORD *>(&settings.device)},
    {"freq", &settings.freq},
    {"devflags", &settings.devflags},
    {"modflags", &settings.modflags},
};

LONG OpenSettingsKey(BOOL *created)
{
    DWORD disposition = 0;
    LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY_PATH, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &settingsKey, &disposition);
    *created = disposition == REG_CREATED_NEW_KEY;
    return result;
}

void CloseSettingsKey(void)
{
    RegCloseKey(settingsKey);
}

static void SaveSettingsValue(const SettingsValue &value)
{
    RegSetValueExA(settingsKey, value.name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(value.field), sizeof(DWORD));
}

void SaveSettings(void)
{
    for (const SettingsValue &value : settingsValues)
        SaveSettingsValue(value);
}

// Any stored value of at most four bytes is taken byte for byte, whatever its type (a
// shorter one replaces only the low bytes); one that cannot be read is written back
// from memory. The query goes into a copy: on ERROR_MORE_DATA Windows leaves the
// buffer undefined, and the field must keep its value.
void LoadSettings(void)
{
    for (const SettingsValue &value : settingsValues) {
        DWORD stored = *value.field;
        DWORD size = sizeof stored;
        if (RegQueryValueExA(settingsKey, value.name, nullptr, nullptr, reinterpret_cast<BYTE *>(&stored), &size) ==
            ERROR_SUCCESS)
            *value.field = stored;
        else
            SaveSettingsValue(value);
    }
}

void ShowErrorBox(HWND owner, const char *text)
{
    MessageBoxA(owner, text, "Error", MB_OK | MB_ICONWARNING);
}

void Init(void)
{
    if (BASS_GetVersion() != BASS_VERSION_08) {
        MessageBoxA(nullptr, "BASS version 0.8 was not loaded", "Incorrect BASS.DLL", MB_OK);
        return;
    }
    BOOL created = FALSE;
    if (OpenSettingsKey(&created) != ERROR_SUCCESS) {
        MessageBoxA(nullptr, "Cannot open registry key", "Registry error", MB_OK);
        return;
    }
    if (created)
        SaveSettings();
    else
        LoadSettings();
    CloseSettingsKey();
}
