#include "hosting/plugin_host.h"

#include <tessel/ui_backend.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <initializer_list>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace tessel::host {
namespace {

constexpr char kWindowClass[] = "TesselHostMain";

// SetInfo and the window procedure have no context pointer; one host per process.
std::atomic<bool> musicEnded{false};
std::atomic<int> infoChannels{0}, infoRate{0}, infoOutput{0};
std::atomic<bool> infoKnown{false};

void SetInfo(int bitrate, int sampleRateKhz, int channels, int)
{
    infoChannels = bitrate;
    infoRate = sampleRateKhz;
    infoOutput = channels;
    infoKnown = true;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kMusicEndedMessage) {
        musicEnded = true;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string ExecutableDirectory()
{
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return ".";
    std::string path(buffer, size_t(length));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string Upper(std::string text)
{
    for (char &c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::string PluginPath()
{
    if (const char *override = std::getenv("TESSEL_PLUGIN"); override && *override)
        return override;
    std::string directory = ExecutableDirectory();
    for (const char *relative : {TESSEL_PLUGIN_RELATIVE, TESSEL_PLUGIN_INSTALLED}) {
        std::string candidate = directory + "/" + relative;
        if (access(candidate.c_str(), R_OK) == 0)
            return candidate;
    }
    return directory + "/in_tessel.so";
}

std::unique_ptr<PluginHost> PluginHost::Load(std::string &error)
{
    std::unique_ptr<PluginHost> host(new PluginHost);
    host->path_ = tessel::host::PluginPath();
    host->library_ = LoadLibraryA(host->path_.c_str());
    if (!host->library_) {
        error = "cannot load the plug-in " + host->path_;
        if (const char *reason = dlerror())
            error += std::string(": ") + reason;
        return nullptr;
    }
    // Through void *: the export's true type is not GetProcAddress's.
    auto getModule = reinterpret_cast<GetInModule2Proc>(
        reinterpret_cast<void *>(GetProcAddress(host->library_, "winampGetInModule2")));
    if (!getModule) {
        error = host->path_ + " is not an input plug-in (no winampGetInModule2)";
        return nullptr;
    }
    host->module_ = getModule();
    if (!host->module_ || host->module_->version != IN_MODULE_VERSION) {
        error = host->path_ + ": unsupported input plug-in interface version";
        host->module_ = nullptr;
        return nullptr;
    }
    return host;
}

bool PluginHost::Start(std::string &error)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass); // already there when a second host is made in one process
    window_ = CreateWindowExA(0, kWindowClass, "tessel", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr, nullptr,
                              nullptr);
    if (!window_) {
        error = "cannot create the host's main window";
        return false;
    }
    module_->hMainWindow = window_;
    module_->hDllInstance = library_;
    module_->SetInfo = SetInfo;
    module_->Init();
    started_ = true;
    return true;
}

PluginHost::~PluginHost()
{
    if (started_)
        module_->Quit();
    if (window_)
        DestroyWindow(window_);
    // The library stays loaded: the sound library and the platform may still hold
    // pointers into it (resources, a dialog procedure) until the process ends.
}

bool PluginHost::Play(const std::string &file)
{
    musicEnded = false;
    infoKnown = false;
    return module_->Play(file.c_str()) == 0;
}

void PluginHost::Stop()
{
    module_->Stop();
    // The monitor thread has ended: what it posted is all there is to drop.
    MSG message;
    while (PeekMessageA(&message, window_, kMusicEndedMessage, kMusicEndedMessage, PM_REMOVE)) {
    }
    musicEnded = false;
}

bool PluginHost::Ended() const
{
    return musicEnded;
}

StreamInfo PluginHost::Info() const
{
    StreamInfo info;
    info.known = infoKnown;
    info.channels = infoChannels;
    info.rateKhz = infoRate;
    info.outputChannels = infoOutput;
    return info;
}

void PluginHost::Pump()
{
    // The open dialogs see their keys first, as IsDialogMessageA in a player's loop.
    tessel::ui::PumpMessages();
}

void PluginHost::PumpFor(DWORD milliseconds)
{
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
    Pump();
}

std::vector<std::string> PluginHost::Extensions() const
{
    std::vector<std::string> extensions;
    // Pairs of extensions ("XM" or "MOD;S3M") and a description, until an empty
    // extension. A pair without its description ends the list there: what follows
    // the missing description is not the plug-in's.
    for (const char *at = module_->FileExtensions; at && *at;) {
        std::string listed = at;
        for (size_t start = 0; start <= listed.size();) {
            size_t end = std::min(listed.find(';', start), listed.size());
            if (end > start)
                extensions.push_back(Upper(listed.substr(start, end - start)));
            start = end + 1;
        }
        at += listed.size() + 1;
        if (!*at)
            break;
        at += std::strlen(at) + 1;
    }
    return extensions;
}

bool PluginHost::Accepts(const std::string &file) const
{
    if (module_->IsOurFile(file.c_str()))
        return true;
    size_t slash = file.find_last_of('/');
    size_t dot = file.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    std::string extension = Upper(file.substr(dot + 1));
    for (const std::string &listed : Extensions())
        if (listed == extension)
            return true;
    return false;
}

void PluginHost::FileInfo(const std::string &file, std::string &title, int &lengthMs)
{
    // The plug-in does not know the buffer's size: room for any path and then some.
    std::vector<char> buffer(3 * PATH_MAX, '\0');
    lengthMs = 0;
    module_->GetFileInfo(file.empty() ? nullptr : file.c_str(), buffer.data(), &lengthMs);
    buffer.back() = '\0';
    title = buffer.data();
}

} // namespace tessel::host
