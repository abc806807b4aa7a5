// What every conformance test needs: the plug-in loaded as the host loads it, a
// clean settings key, and files in a temporary folder written with Win32 calls.
#pragma once

#include "plugin/in_module.h"
#include "tests/fixtures/fixture_folder.h"

#include <windows.h>

#include <string>
#include <vector>

#define SETTINGS_KEY "Software\\Vantrel\\Velkin\\0.8"

// LoadLibraryA + GetProcAddress("winampGetInModule2"), once per process.
HMODULE PluginModule();
In_Module *Plugin();

// Deletes the plug-in's settings key with everything in it.
void DeleteSettingsKey();
// Reads a value of the settings key: false when it is missing.
bool ReadSettingsValue(const char *name, DWORD &type, std::vector<BYTE> &data);
void WriteSettingsValue(const char *name, DWORD type, const void *data, DWORD size);
DWORD SettingsDword(const char *name); // 0xDEADBEEF when missing or not four bytes
// Puts known settings into the plug-in's memory: writes them to a fresh key and
// runs Init, which loads them. (The plug-in's memory outlives every test.)
void LoadPluginSettings(LONG device, DWORD freq, DWORD devflags, DWORD modflags);

// A folder of its own for each test, written with Win32 calls and removed with its
// files; the fixture builders' folder serves both.
using TempFolder = fixtures::FixtureFolder;

// The separator that ends GetTempPathA's folder: "\\" on Windows, "/" on POSIX.
char PathSeparator();
