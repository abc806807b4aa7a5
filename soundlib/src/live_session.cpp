#include "live_session.h"

#include "output_file.h"
#include "tessel_bass.h"

#include <algorithm>
#include <mutex>
#include <optional>

namespace tessel::sound::live_session {
namespace {

struct Registry {
    std::mutex control; // Init and Free, which may take long, one at a time
    std::mutex lock;    // guards what follows, held only to copy it
    std::shared_ptr<Session> live;
    std::string lastError; // the last session's failure, until the next Init
    SessionConfig next;
    bool hostChoseOutput = false; // TesselBass_SetOutput was called: TESSEL_OUTPUT is ignored

    ~Registry()
    {
        // A host that exits without BASS_Free must not leave the render thread running
        // into the process's teardown.
        std::lock_guard<std::mutex> guard(control);
        live.reset();
    }
};

Registry &TheRegistry()
{
#ifdef _WIN32
    // Never destroyed: a DLL's static destructors run under the loader lock, where
    // joining the render thread would deadlock. BASS_Free ends the thread.
    static Registry *registry = new Registry;
    return *registry;
#else
    static Registry registry;
    return registry;
#endif
}

// Ends the live session; control held.
void EndLive(Registry &r)
{
    std::shared_ptr<Session> session;
    {
        std::lock_guard<std::mutex> lock(r.lock);
        session.swap(r.live);
    }
    if (!session)
        return;
    session->End();
    std::string error = session->Error();
    std::lock_guard<std::mutex> lock(r.lock);
    r.lastError = error;
}

} // namespace

bool Init(int device, uint32_t freq, uint32_t flags)
{
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.control);
    // A second Init replaces the first output, with its musics, rather than failing:
    // a host whose earlier Play failed half-way has no other way back.
    EndLive(r);
    SessionConfig config;
    bool hostChose;
    {
        std::lock_guard<std::mutex> lock(r.lock);
        r.lastError.clear();
        config = r.next;
        hostChose = r.hostChoseOutput;
    }
    // The host's own choice wins; otherwise TESSEL_OUTPUT, read afresh every time.
    std::optional<OutputChoice> wanted = hostChose ? config.output : OutputFromEnvironment();
    std::string error = "TESSEL_OUTPUT names no output (wav:PATH, null or device)";
    std::shared_ptr<Session> session;
    if (wanted) {
        config.output = *wanted;
        error.clear();
        session = Session::Open(device, freq, flags, config, error);
    }
    std::lock_guard<std::mutex> lock(r.lock);
    r.lastError = error;
    r.live = session;
    return session != nullptr;
}

void Free()
{
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.control);
    EndLive(r);
}

std::shared_ptr<Session> Get()
{
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.lock);
    return r.live;
}

bool SetOutput(int kind, const char *wavPath)
{
    bool file = kind == TESSEL_OUTPUT_WAV || kind == TESSEL_OUTPUT_OFFLINE;
    if (!file && kind != TESSEL_OUTPUT_DEVICE && kind != TESSEL_OUTPUT_NULL)
        return false;
    if (file && (wavPath == nullptr || wavPath[0] == '\0'))
        return false;
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.lock);
    r.hostChoseOutput = true;
    r.next.output = OutputChoice{kind, file ? wavPath : "", -1};
    return true;
}

bool SetOutputFile(int kind, int fd)
{
    if (kind != TESSEL_OUTPUT_WAV && kind != TESSEL_OUTPUT_OFFLINE)
        return false;
    if (!OutputFile::UsableDescriptor(fd))
        return false;
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.lock);
    r.hostChoseOutput = true;
    r.next.output = OutputChoice{kind, "", fd};
    return true;
}

void SetNullBuffer(uint32_t milliseconds)
{
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.lock);
    r.next.nullBufferMs = std::min<uint32_t>(milliseconds, 10000);
}

void SetOfflineLimit(uint32_t limitMs, bool onePass)
{
    Registry &r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.lock);
    r.next.offlineLimitMs = limitMs;
    r.next.offlineOnePass = onePass;
}

bool GetOutputError(char *text, uint32_t size)
{
    std::shared_ptr<Session> session = Get();
    std::string error;
    if (session) {
        error = session->Error();
    } else {
        Registry &r = TheRegistry();
        std::lock_guard<std::mutex> lock(r.lock);
        error = r.lastError;
    }
    if (error.empty())
        return false;
    if (text != nullptr && size > 0) {
        size_t length = std::min<size_t>(error.size(), size - 1);
        std::copy(error.begin(), error.begin() + length, text);
        text[length] = '\0';
    }
    return true;
}

} // namespace tessel::sound::live_session
