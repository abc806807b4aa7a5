// A system call that a signal interrupted (-1 with EINTR) is made again. Header-only,
// so the sound library and the host use it without linking the platform.
#pragma once

#include <cerrno>

namespace tessel {

// call() again for as long as it fails with EINTR; its first other result.
template <typename Call>
auto RetryOnEintr(Call call) -> decltype(call())
{
    for (;;) {
        auto result = call();
        if (!(result < 0 && errno == EINTR))
            return result;
    }
}

// The same, but an interruption while stop() holds (a signal the caller must act on)
// ends the retries: the failure with EINTR is returned.
template <typename Call, typename Stop>
auto RetryOnEintr(Call call, Stop stop) -> decltype(call())
{
    for (;;) {
        auto result = call();
        if (!(result < 0 && errno == EINTR) || stop())
            return result;
    }
}

} // namespace tessel
