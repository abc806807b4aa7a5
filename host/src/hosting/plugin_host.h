// The plug-in as a media player holds it: loaded from in_tessel.so, its record's host
// slots filled (main window, instance, SetInfo), Init run once and Quit at the end.
// Everything here runs on the thread that loaded the plug-in, which owns the main
// window and so receives the end-of-music message.
#pragma once

#include "plugin/in_module.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace tessel::host {

// The message the plug-in's monitor thread posts when the music has ended.
constexpr UINT kMusicEndedMessage = WM_USER + 2;

// What the plug-in last told the host through SetInfo.
struct StreamInfo {
    bool known = false;
    int channels = 0; // in the bit rate's place
    int rateKhz = 0;
    int outputChannels = 0; // 1 mono, 2 stereo
};

class PluginHost {
public:
    // Loads the plug-in (TESSEL_PLUGIN, else the build's or an installed layout next
    // to this program) and checks its interface version. nullptr with a reason in
    // error when that fails. Its record's lists (extensions, IsOurFile) answer now.
    static std::unique_ptr<PluginHost> Load(std::string &error);
    // Creates the main window, fills the host slots and runs Init: the plug-in is ready
    // to play. False with a reason in error when that fails.
    bool Start(std::string &error);
    ~PluginHost();
    PluginHost(const PluginHost &) = delete;
    PluginHost &operator=(const PluginHost &) = delete;

    In_Module &Module() { return *module_; }
    HWND MainWindow() const { return window_; }
    const std::string &PluginPath() const { return path_; }

    // Play, with the end-of-music flag and the stream information cleared first.
    // True when the plug-in reports the music playing.
    bool Play(const std::string &file);
    // Stop, then drops the end messages the monitor thread posted before it ended.
    void Stop();
    // The music has ended since the last Play (message 1026 arrived).
    bool Ended() const;
    StreamInfo Info() const;

    // Runs every message waiting for this thread (dialogs, the end message).
    void Pump();
    // Waits until a message is waiting or milliseconds have passed, then pumps.
    void PumpFor(DWORD milliseconds);

    // The extensions the record lists ("XM", "IT", ...), upper case, without dots.
    std::vector<std::string> Extensions() const;
    // The plug-in plays this file: IsOurFile, or its extension is in the list.
    bool Accepts(const std::string &file) const;

    // Title and length of a file for the playlist (GetFileInfo); an empty name asks
    // about the playing module. lengthMs is -1000 for a file that cannot be opened.
    void FileInfo(const std::string &file, std::string &title, int &lengthMs);

private:
    PluginHost() = default;

    HMODULE library_ = nullptr;
    bool started_ = false; // Init has run: Quit is due
    In_Module *module_ = nullptr;
    HWND window_ = nullptr;
    std::string path_;
};

// The plug-in's path: TESSEL_PLUGIN when set, else the build tree's layout relative to
// this program, else the installed one (../lib/tessel/in_tessel.so), else in_tessel.so
// next to it.
std::string PluginPath();

} // namespace tessel::host
