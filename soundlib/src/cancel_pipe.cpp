#include "cancel_pipe.h"

#include <atomic>
#include <cerrno>
#include <mutex>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tessel::sound::cancel_pipe {
namespace {

std::once_flag opened;
// Written once, before armed is first set; a handler reads them only once armed.
int readEnd = -1;
int writeEnd = -1;
std::atomic<bool> armed{false};
std::atomic<bool> raised{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler may touch only lock-free atomics");

void Open()
{
    int ends[2];
#ifdef _WIN32
    if (_pipe(ends, 256, _O_BINARY | _O_NOINHERIT) != 0)
        return;
#else
    if (pipe2(ends, O_CLOEXEC) != 0)
        return;
#endif
    readEnd = ends[0];
    writeEnd = ends[1];
}

void Put(char byte)
{
#ifdef _WIN32
    _write(writeEnd, &byte, 1);
#else
    // At most two bytes per output are ever left unread: the pipe never fills.
    while (write(writeEnd, &byte, 1) < 0 && errno == EINTR) {
    }
#endif
}

} // namespace

bool Arm()
{
    std::call_once(opened, Open);
    if (writeEnd < 0)
        return false;
    raised.store(false);
    armed.store(true);
    return true;
}

void Disarm()
{
    armed.store(false);
}

void Raise() noexcept
{
    if (!armed.load() || raised.exchange(true))
        return;
    const int saved = errno; // a handler leaves errno as it found it
    Put('c');
    errno = saved;
}

bool Raised()
{
    return raised.load();
}

void Wait()
{
    char byte;
#ifdef _WIN32
    _read(readEnd, &byte, 1);
#else
    while (read(readEnd, &byte, 1) < 0 && errno == EINTR) {
    }
#endif
}

void Wake()
{
    if (writeEnd >= 0)
        Put('w');
}

} // namespace tessel::sound::cancel_pipe
